#pragma once
// A look at a shared object before dlopen maps it.
//
// dlopen maps segments beyond the end of a truncated file (a half-written
// package upgrade, a damaged disk) and the process then dies of SIGBUS when
// they are touched; a library that exports its entry point as data makes
// the first call jump into data. Reading the file first turns both, and a
// file that anyone else could have replaced, into an ordinary "could not
// load". Only pread() is used: a mapping of a file being cut would fault.

#include <string>

namespace duskwarden::loader {

// Empty when `path` is a library that may be opened with `entry` as its entry
// point: a regular file, owned by root or by us, writable by neither its
// group nor others, a complete ELF shared object of this machine's class
// (headers and loadable segments within the file), whose dynamic symbol
// table defines `entry` as a function. Otherwise one line saying what is
// wrong, beginning with the path: "<path>: truncated (4000 bytes): ...".
std::string libraryFileProblem(const std::string& path, const char* entry);

}  // namespace duskwarden::loader
