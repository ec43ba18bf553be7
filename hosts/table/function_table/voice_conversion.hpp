// Voice and audio files converted by the outside programs in main\corn below
// the run folder (ffmpeg, silk_v3_decoder, silkencoder), through work files
// in main\data\voice; the outcome is reported in the host's log.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace zoq {

enum class VoiceTarget {
  Mp3,   // a silk or AMR voice decoded to MP3
  Silk,  // an audio file encoded to silk
  Amr,   // an audio file encoded to AMR
};

struct VoiceWork {
  std::string runFolder;                         // without a trailing backslash
  std::function<std::uint32_t()> drawNumber;     // 1000 to 999999, for the work files' names
  std::function<void(const std::string&)> log;   // a line for the host's log
};

// The converted file's bytes, or the empty byte set. The input is read where
// it lies; the work files are named from its file name only (a random
// number before it, every work file of the name still free), live in the
// voice work folder and are deleted afterwards.
std::string ConvertVoice(VoiceTarget target, const std::string& input, const VoiceWork& work);

// A fresh random work number, 1000 to 999999.
std::uint32_t DrawVoiceWorkNumber();

}  // namespace zoq
