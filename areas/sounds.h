// CSounds (area bit 0x0200): the sound schemes of the current user. Under
// HKEY_CURRENT_USER\AppEvents\Schemes\Apps each application lists its
// events, and each event names a sound file for the schemes ".Current",
// ".Default" and ".None". A bare file name is a file of the Windows folder's
// "media" folder.
//
// Reports entry type 37 for a scheme whose sound file is missing; empty
// scheme values are passed over.
#pragma once

#include "areas/program_area.h"

namespace hs {

class CSounds final : public CProgramArea {
 public:
  explicit CSounds(ScanManager& manager);

  // 1 when done, 2 when cancelled (unsorted).
  int Scan() override;
  bool PrepareScan() override;

  // Tests the sound of one scheme key (relative to HKEY_CURRENT_USER) of
  // `event` of application `app`; reports it when its file is missing.
  void CheckSoundEvent(const Text& scheme_key, TextView scheme_label, const Text& app, const Text& event);

 private:
  // The default value of a key of HKEY_CURRENT_USER; empty when unreadable.
  Text DefaultText(TextView subkey, bool read_write);
  Text media_folder_;
};

}  // namespace hs
