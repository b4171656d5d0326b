// The record of settings files that could not be written, which the
// application takes to tell the user once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/WriteFailures.h"

namespace {

using Names = std::vector<std::string>;

TEST(WriteFailuresTest, EachFileIsRecordedOnceInTheOrderOfItsFirstFailureUntilTaken) {
  TakeWriteFailures();
  RecordWriteFailure("/a/Velmora.ini");
  RecordWriteFailure("/b/Other.ini");
  RecordWriteFailure("/a/Velmora.ini");
  EXPECT_EQ(TakeWriteFailures(), (Names{"/a/Velmora.ini", "/b/Other.ini"}));
  EXPECT_EQ(TakeWriteFailures(), Names{});
  RecordWriteFailure("/a/Velmora.ini");  // a new failure after the list was taken is told again
  EXPECT_EQ(TakeWriteFailures(), (Names{"/a/Velmora.ini"}));
}

}  // namespace
