// The Windows tests' main: the virtual MIDI devices are set up before any
// test touches MIDI, because winmm reads its device list only once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "VirtualMidiEnvironment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (StartVirtualMidi())
    std::printf("Virtual MIDI driver loaded: %u inputs, %u outputs\n", VirtualMidi()->InputCount(),
                VirtualMidi()->OutputCount());
  else if (std::getenv("VELMORA_REQUIRE_VIRTUAL_MIDI")) {
    std::printf("Virtual MIDI driver not loaded, but this run requires it (Wine prefix audio driver \"vmidi\", "
                "winevmidi.drv beside the program)\n");
    return 1;
  } else
    std::printf("Virtual MIDI driver not loaded: the tests that need it are skipped\n");
  std::fflush(stdout);
  return RUN_ALL_TESTS();
}
