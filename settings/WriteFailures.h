// Settings files that could not be written or read. A writer that must not
// raise (a destructor, a save at shutdown) records the file here; the
// application takes the list when it can tell the user, and shows each file
// once. Beside the list, the settings file's present fault: the reason the
// last save (or a read) did not reach the file, cleared by the next save
// that does; the main window shows it while the program runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Records that fileName could not be written; a file already recorded and
// not yet taken is not recorded again.
void RecordWriteFailure(const std::string& FileName);

// A later save has stored what the failed one could not: the file is no
// longer to be told.
void ForgetWriteFailure(const std::string& FileName);

// The files recorded since the last call, in the order of their first
// failure; the record is empty afterwards.
std::vector<std::string> TakeWriteFailures();

// Any thread. An empty reason clears the fault. The listener runs on the
// thread that changed the fault, with the record's lock held, so it must
// only hand the news on (post a notice); it is not called after it has been
// replaced.
void SetSettingsFault(const std::string& Reason);
std::string SettingsFault();
void SetSettingsFaultListener(std::function<void()> Listener);
