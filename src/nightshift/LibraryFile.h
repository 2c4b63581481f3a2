#pragma once
// A look at a shared object before dlopen maps it.
//
// dlopen maps segments beyond the end of a truncated file (a half-written
// package upgrade, a damaged disk) and the process then dies of SIGBUS when
// they are touched. Checking that the ELF headers and every loadable segment
// lie inside the file turns that into an ordinary "could not load".

#include <string>

namespace duskwarden {

// True when `path` is a regular file holding a complete ELF object of this
// machine's class whose headers and segments all lie within the file;
// otherwise false, with what is wrong in `*reason`.
bool isCompleteSharedObject(const std::string& path, std::string* reason = nullptr);

}  // namespace duskwarden
