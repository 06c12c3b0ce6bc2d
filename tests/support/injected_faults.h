// Faults of the C library's file streams, injected into this test program
// for one named file: a read that fails half way through a trace, and a
// close that fails after the file is closed (a deferred write error, as on
// NFS or FUSE). The program code is called in-process (test::run) and
// opens its files by name as usual; injected_faults.cpp replaces fread,
// ferror, fclose and ftruncate for the whole test program and passes every
// call on unchanged unless a fault is set for the file.
#pragma once

#include <cstddef>
#include <string>

namespace ovantrex::test {

struct FaultState;

// Sets faults for the lifetime of the object; at most one object at a time.
class InjectedFaults {
 public:
  InjectedFaults();
  ~InjectedFaults();
  InjectedFaults(const InjectedFaults&) = delete;
  InjectedFaults& operator=(const InjectedFaults&) = delete;

  // Reads of the file at path succeed for the first passingReads calls of
  // fread; every later one reads nothing and fails with EIO (ferror is then
  // set for the stream).
  void failReadsOf(const std::string& path, int passingReads);
  // Reads of the file at path deliver its first bytes bytes; the read that
  // reaches past them delivers what lies before that point and fails with
  // EIO (a disk error part way through a read), as do all later ones.
  void failReadsAfter(const std::string& path, std::size_t bytes);
  // fclose of the file at path closes it and then reports errorNumber.
  void failCloseOf(const std::string& path, int errorNumber);
  // ftruncate of the file at path changes nothing and reports errorNumber.
  void failTruncateOf(const std::string& path, int errorNumber);

  // Calls of fread and fclose that met their fault.
  int failedReads() const;
  int failedCloses() const;
  int failedTruncates() const;

 private:
  FaultState& state_;
};

}  // namespace ovantrex::test
