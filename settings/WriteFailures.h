// Settings files that could not be written. A writer that must not raise
// (a destructor, a save at shutdown) records the file here; the application
// takes the list when it can tell the user, and shows each file once.
#pragma once

#include <string>
#include <vector>

// Records that fileName could not be written; a file already recorded and
// not yet taken is not recorded again.
void RecordWriteFailure(const std::string& fileName);

// The files recorded since the last call, in the order of their first
// failure; the record is empty afterwards.
std::vector<std::string> TakeWriteFailures();
