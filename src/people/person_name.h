// LookUpPersonName answers GetPersonName for both classes: the trimmed name
// of the HR_Person row with the given id, or "" when there is no such row or
// its name is NULL. It runs one query on the caller's connection and keeps
// nothing. Called on the thread that owns the connection.
#ifndef KORIMBA_PEOPLE_PERSON_NAME_H_
#define KORIMBA_PEOPLE_PERSON_NAME_H_

#include <string>

#include "frame/connection.h"
#include "frame/variant.h"

namespace korimba {

// `id` is spliced as a number (Empty/Null leave nothing after "PersonID=",
// and the database rejects the statement; non-numeric text is refused with a
// type mismatch before anything runs).
std::string LookUpPersonName(Connection& conn, const Variant& id);

}  // namespace korimba

#endif  // KORIMBA_PEOPLE_PERSON_NAME_H_
