// ErrorOf runs a call and gives the number of the automation error it
// raised, or 0 when it raised none, so that a table of calls can be checked
// against the error each should raise in one readable line per case.
// Header-only; any thread.
#ifndef KORIMBA_TESTS_SUPPORT_ERROR_OF_H_
#define KORIMBA_TESTS_SUPPORT_ERROR_OF_H_

#include <cstdint>

#include "frame/error.h"

namespace korimba::testing {

template <typename F>
int32_t ErrorOf(F f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_ERROR_OF_H_
