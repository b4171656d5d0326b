// Where an arriving short message goes, and what it begins or ends there:
// the decision the engine asks for each message of an input, against that
// input's record of what it holds. The channel map, the delays and the
// queue stay the engine's, reached through TRouteTarget. Main thread only.
#pragma once

#include <cstdint>

#include "engine/HeldNotes.h"
#include "engine/RouteTarget.h"
#include "engine/SystemMessageRouter.h"

class TMessageRouting {
 public:
  TMessageRouting(TRouteTarget& Target, std::int32_t DeviceSlots) : FTarget(Target), FSystemMessages(DeviceSlots) {}

  // Routes Data, a short message of the input whose record is Held.
  void Route(THeldNotes& Held, DWORD Data);
  // Releases at once, where it sounds, every note, pedal and bend Held
  // records, then forgets them: the input that held them is gone.
  void ReleaseEverything(THeldNotes& Held);

  TSystemMessages SystemMessages() const { return FSystemMessages.Choice(); }
  void SetSystemMessages(TSystemMessages Choice) { FSystemMessages.SetChoice(Choice); }

 private:
  void RouteController(THeldNotes& Held, DWORD Data, std::uint8_t Channel, std::int32_t Current, TDateTime Now);
  // Queues a release for the device that holds what it releases, or for the
  // channel's current device when none does.
  void SendToHolder(std::int32_t Holder, std::int32_t Current, DWORD Data, TDateTime Now);
  void RouteSystemMessage(DWORD Data, std::int32_t Current, TDateTime Now);

  TRouteTarget& FTarget;
  TSystemMessageRouter FSystemMessages;
};
