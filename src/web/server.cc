#include "web/server.h"

#include <iostream>

namespace korimba::web {

int Serve(const ServeOptions&) {
  std::cerr << "korimba: the page host is not built yet\n";
  return 1;
}

}  // namespace korimba::web
