#include "web/shared_state.h"

#include <memory>

#include "host/redis_client.h"
#include "host/redis_state.h"

namespace korimba::web {

bool UseSharedState(Site& site, const std::string& state, std::string* error) {
  if (state.empty() || state == "memory") return true;
  std::string why;
  auto address = ParseRedisAddress(state, &why);
  if (!address) {
    *error = "--state " + state + " is neither \"memory\" nor redis://HOST:PORT[/DB]: " + why;
    return false;
  }
  auto client = std::make_shared<RedisClient>(*address);
  site.set_state(std::make_unique<RedisSessionKeeper>(client),
                 std::make_shared<RedisApplication>(client),
                 [client] { return client->Problem(); });
  return true;
}

}  // namespace korimba::web
