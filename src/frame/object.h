// Object is the base of everything a Variant can hold as an object: the
// component's own classes, the page host's objects and database connections.
// Ownership is by counted reference (std::shared_ptr); an object that holds
// another holds one counted reference to it. Objects follow the apartment
// model: each is used by one thread at a time unless its header says it is
// thread-safe.
#ifndef KORIMBA_FRAME_OBJECT_H_
#define KORIMBA_FRAME_OBJECT_H_

#include <memory>
#include <string_view>

namespace korimba {

class Variant;

class Object : public std::enable_shared_from_this<Object> {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;

  // A short name of the object's kind ("Message", "Connection", "Session"),
  // used in messages and in the script host's {"$object": kind}.
  virtual std::string_view KindName() const = 0;
};

using ObjectRef = std::shared_ptr<Object>;

}  // namespace korimba

#endif  // KORIMBA_FRAME_OBJECT_H_
