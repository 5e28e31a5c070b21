// The one header a program that embeds Korimba includes: creation of the
// component's objects by ProgID, calls by name with Variant values, the value
// operations and grid helpers, the in-memory page host, and opening a
// database connection. It only gathers the headers that define these; see
// each for ownership and threading (objects are apartment-threaded, the
// Application of the page host is shared and thread-safe).
//
//   auto message = korimba::CreateObject("Korimba.Message");
//   korimba::Page page(application, session, {{"url", "/inbox.asp"}});
//   korimba::CallByName(*message, "OnStartPage", {korimba::Variant::Object(page.context())});
//   korimba::CallByName(*message, "SetConn",
//                       {korimba::Variant::Object(korimba::OpenConnection("sqlite::memory:"))});
#ifndef KORIMBA_KORIMBA_H_
#define KORIMBA_KORIMBA_H_

#include <initializer_list>
#include <string_view>
#include <vector>

#include "classes/registry.h"
#include "db/open.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "frame/variant.h"
#include "host/page_host.h"

namespace korimba {

// Calls a method by name with a braced list of arguments; errors are
// AutomationErrors, and their description is what GetError returns after.
inline Variant CallByName(DispatchObject& object, std::string_view method,
                          std::initializer_list<Variant> args = {}) {
  std::vector<Variant> values(args);
  return object.Call(method, values);
}

}  // namespace korimba

#endif  // KORIMBA_KORIMBA_H_
