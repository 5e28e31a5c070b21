// Where `korimba serve` keeps its sessions and its Application: in this
// process (the default, "" or "memory"), or in Redis (redis://HOST:PORT[/DB])
// so that several nodes behind a load balancer serve any visitor alike.
// Called once at start-up, before the site is registered.
#ifndef KORIMBA_WEB_SHARED_STATE_H_
#define KORIMBA_WEB_SHARED_STATE_H_

#include <string>

#include "web/site.h"

namespace korimba::web {

// Sets the site's state store from `state`; false (with the reason in
// *error) when the text names no store this build knows. An unreachable
// Redis is not an error here: pages answer 503 until it is reachable.
bool UseSharedState(Site& site, const std::string& state, std::string* error);

}  // namespace korimba::web

#endif  // KORIMBA_WEB_SHARED_STATE_H_
