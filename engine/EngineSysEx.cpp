// System-exclusive messages from the inputs, and the turns they take.
#include <algorithm>

#include "engine/VelmoraEngine.h"
#include "midi/MidiOutput.h"
#include "platform/Platform.h"

// System-exclusive messages go to every open device: one input's goes out
// whole before another's starts, which waits with whatever its input sends
// after it (real-time messages aside), so each input keeps its own order.
void TVelmoraEngine::InputLongData(TInputSource& Input, const std::uint8_t* Data, std::int32_t Length) {
  const bool anotherGoesOut = FSysExOwner != nullptr && FSysExOwner != &Input;
  if (!anotherGoesOut && Input.Waiting.empty()) {
    PassLong(Input, Data, Length);
    PassWaiting();
    return;
  }
  if (Input.Waiting.empty()) FWaitingInputs.push_back(&Input);
  Input.Waiting.push_back({.Bytes = std::vector<std::uint8_t>(Data, Data + std::max(Length, 0))});
  Input.WaitingBytes += static_cast<std::size_t>(std::max(Length, 0));
  // Waiting is bounded in bytes as well as in time.
  if (Input.WaitingBytes > MaxWaitingSysExBytes && FSysExOwner != nullptr) {
    EndCutSysEx(*FSysExOwner);
    return;
  }
  ArmSysExCut();
}

template <class Maker>
void TVelmoraEngine::SendOrQueueLong(Maker Make) {
  // Due at once like a short message without delay, and sent at once on the
  // same terms: when nothing waits before it for any device. Asked before the
  // block is made, since a block counts as waiting for every device.
  const auto slots = FSlots.begin() + SlotCount();
  const bool nothingWaiting =
      std::all_of(FSlots.begin(), slots, [](const auto& output) { return output->NothingWaiting(); });
  TMidiOutLongMessage* message = Make();
  if (!nothingWaiting) {
    const TDateTime due = message->DueTime;  // the message is the timer thread's once posted
    FMessageList->Post(message);
    FTimer->WakeAt(due);
    return;
  }
  message->Send();
  message->Free();
}

void TVelmoraEngine::PassLong(TInputSource& Input, const std::uint8_t* Data, std::int32_t Length) {
  if (Length > 0) {
    const bool inside = Data[Length - 1] != midi::EndOfExclusive;
    FSysExOwner = inside ? &Input : nullptr;
    FSysExOwnerLastBlock = platform::Now();
  }
  SendOrQueueLong([&] { return new TMidiOutLongMessage(Data, Length); });
}

void TVelmoraEngine::EndCutSysEx(TInputSource& Input) {
  if (FSysExOwner != &Input) return;
  FSysExOwner = nullptr;
  SendOrQueueLong(TMidiOutLongMessage::EndOfCutMessage);
  PassWaiting();
}

void TVelmoraEngine::PassWaiting() {
  while (!FWaitingInputs.empty()) {
    TInputSource& input = *FWaitingInputs.front();
    while (!input.Waiting.empty()) {
      TInputSource::TWaiting& next = input.Waiting.front();
      if (next.Bytes.empty()) {
        FRouting.Route(input.Held, next.Short);
      } else {
        if (FSysExOwner != nullptr && FSysExOwner != &input) {
          ArmSysExCut();
          return;
        }
        PassLong(input, next.Bytes.data(), static_cast<std::int32_t>(next.Bytes.size()));
        input.WaitingBytes -= next.Bytes.size();
      }
      input.Waiting.pop_front();
    }
    FWaitingInputs.pop_front();
  }
  ArmSysExCut();
}

void TVelmoraEngine::ArmSysExCut() {
  // Only while an input waits: a long dump alone asks nothing of the tick.
  const bool waits = FSysExOwner != nullptr && !FWaitingInputs.empty();
  FSysExCutDue.store(waits ? FSysExOwnerLastBlock + MillisecondsToDateTime(TMidiOutput::StalledSysExMilliseconds)
                           : 0.0,
                     std::memory_order_release);
}

void TVelmoraEngine::CutStalledSysEx() {
  if (FSysExOwner == nullptr || FWaitingInputs.empty()) return;
  const TDateTime stalledSince =
      FSysExOwnerLastBlock + MillisecondsToDateTime(TMidiOutput::StalledSysExMilliseconds);
  if (platform::Now() >= stalledSince) {
    EndCutSysEx(*FSysExOwner);
  } else {
    ArmSysExCut();  // a block came meanwhile
  }
}
