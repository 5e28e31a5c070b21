// The HTTP page host's sessions are the page host's kept sessions (see
// host/session_keeper.h): a random id in an HttpOnly, SameSite=Lax cookie
// maps to the session's values and its form token. SessionStore is the
// in-memory keeper of one process; with --state redis:// the Site keeps them
// in Redis instead, behind the same SessionKeeper interface.
#ifndef KORIMBA_WEB_SESSION_STORE_H_
#define KORIMBA_WEB_SESSION_STORE_H_

#include "host/session_keeper.h"

namespace korimba::web {

using WebSession = KeptSession;
using SessionStore = InMemorySessionKeeper;
using korimba::RandomHexId;

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SESSION_STORE_H_
