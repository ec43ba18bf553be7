#include "hosts/table/function_table/voice_conversion.hpp"

#include <array>
#include <mutex>
#include <random>
#include <vector>

#include "hosts/call/host_call.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"

namespace zoq {
namespace {

// The most bytes a converted voice may have: 256 MiB, some hours of sound
// in any of the forms (far more than a chat voice message holds).
constexpr std::uint64_t kMostVoiceBytes = std::uint64_t(256) << 20;

struct Step {
  const char* program;  // below main\corn
  std::string commandLine;
};

struct Conversion {
  const char* extraProgram;  // needed besides ffmpeg, or null
  const char* missingPrograms;
  const char* missingInput;
  const char* output;              // the work file read as the result
  std::array<const char*, 2> deleted;  // work files, in this order
  const char* done;
  const char* failed;
};

const Conversion& ConversionOf(VoiceTarget target) {
  static const Conversion mp3{"silk_v3_decoder.exe", "silk解码->corn文件夹缺少语音转码库，请自行到官网或交流群下载",
                              "silk解码->音频文件不存在", ".mp3", {".mp3", ".pcm"}, "silk解码->解码完成",
                              "silk解码->解码失败"};
  static const Conversion silk{"silkencoder.exe", "silk解码->corn文件夹缺少语音转码库，请自行到官网或交流群下载",
                               "silk解码->音频文件不存在", ".silk", {".pcm", ".silk"}, "silk编码->编码完成",
                               "silk编码->编码失败"};
  static const Conversion amr{nullptr, "amr解码->corn文件夹缺少语音转码库，请自行到官网或交流群下载",
                              "amr解码->音频文件不存在", ".amr", {".wav", ".amr"}, "amr编码->编码完成",
                              "amr编码->编码失败"};
  return target == VoiceTarget::Mp3 ? mp3 : target == VoiceTarget::Silk ? silk : amr;
}

std::vector<Step> StepsOf(VoiceTarget target, const std::string& input, const std::string& base) {
  const std::string in = "\"" + input + "\"";
  const std::string q = "\"" + base;
  switch (target) {
    case VoiceTarget::Mp3:
      if (platform::ReadFileStart(input, 5) == "#!AMR")
        return {{"ffmpeg.exe", "main\\corn\\ffmpeg -i " + in + " " + q + ".mp3\""}};
      return {{"silk_v3_decoder.exe", "main\\corn\\silk_v3_decoder " + in + " " + q + ".pcm\""},
              {"ffmpeg.exe", "main\\corn\\ffmpeg -f s16le -ar 24000 -ac 1 -i " + q + ".pcm\" " + q + ".mp3\""}};
    case VoiceTarget::Silk:
      return {{"ffmpeg.exe", "main\\corn\\ffmpeg -i " + in + " -f s16le -ar 24000 -ac 1 -acodec pcm_s16le " + q + ".pcm\""},
              {"silkencoder.exe", "main\\corn\\silkencoder pts -i " + q + ".pcm\" -o " + q + ".silk\" -s 24000"}};
    case VoiceTarget::Amr:
      return {{"ffmpeg.exe", "main\\corn\\ffmpeg -i " + in + " -f wav " + q + ".wav\""},
              {"ffmpeg.exe", "main\\corn\\ffmpeg -i " + q + ".wav\" -ar 8000 -ab 12.2k -ac 1 " + q + ".amr\""}};
  }
  return {};
}

constexpr std::array<const char*, 5> kWorkSuffixes{".pcm", ".mp3", ".silk", ".wav", ".amr"};
constexpr int kWorkNameDraws = 100;

// The work files' common start: the folder, the number and the input's file
// name without its extension; empty when every draw met existing files.
std::string FreeWorkBase(const std::string& folder, const std::string& input, const VoiceWork& work) {
  const std::size_t slash = platform::LastPathSeparator(input);
  std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.resize(dot);
  for (int i = 0; i < kWorkNameDraws; ++i) {
    const std::string base = folder + "\\" + std::to_string(work.drawNumber()) + name;
    bool free = true;
    for (const char* suffix : kWorkSuffixes) free = free && !platform::FileExists(base + suffix);
    if (free) return base;
  }
  return {};
}

// The work files a conversion deletes, deleted however it ends.
class WorkFiles {
 public:
  WorkFiles(const std::string& base, const std::array<const char*, 2>& suffixes)
      : paths_{base + suffixes[0], base + suffixes[1]} {}
  WorkFiles(const WorkFiles&) = delete;
  WorkFiles& operator=(const WorkFiles&) = delete;
  ~WorkFiles() {
    for (const std::string& path : paths_) platform::RemoveFile(path);
  }

 private:
  std::array<std::string, 2> paths_;
};

std::string Convert(VoiceTarget target, const std::string& input, const VoiceWork& work) {
  const Conversion& c = ConversionOf(target);
  const std::string corn = work.runFolder + "\\main\\corn\\";
  if (!platform::FileExists(corn + "ffmpeg.exe") || (c.extraProgram && !platform::FileExists(corn + c.extraProgram))) {
    work.log(c.missingPrograms);
    return {};
  }
  if (!platform::FileExists(input)) {
    work.log(c.missingInput);
    return {};
  }
  const std::string folder = work.runFolder + "\\main\\data\\voice";
  platform::CreateFolders(folder);
  const std::string base = FreeWorkBase(folder, input, work);
  if (base.empty()) {
    work.log(c.failed);
    return {};
  }
  std::string result;
  {
    const WorkFiles files(base, c.deleted);
    for (const Step& step : StepsOf(target, input, base))
      platform::RunProgram(corn + step.program, step.commandLine, work.runFolder);
    // An output too large to hold counts as none: one past what a voice
    // message can be is not read at all (a 32-bit host could not hold a
    // few hundred MiB more beside its own, and a wider one would only take
    // longer to fail).
    const std::string output = base + c.output;
    if (platform::StampOf(output).size <= kMostVoiceBytes) {
      result = hosts::NoThrow(std::string(), [&] { return platform::ReadWholeFile(output); });
    }
  }
  work.log(result.empty() ? c.failed : c.done);
  return result;
}

}  // namespace

std::uint32_t DrawVoiceWorkNumber() {
  static std::mt19937 engine(platform::TickCount());
  static std::mutex drawing;  // any thread converts
  std::lock_guard<std::mutex> hold(drawing);
  return std::uniform_int_distribution<std::uint32_t>(1000, 999999)(engine);
}

std::string ConvertVoice(VoiceTarget target, const std::string& input, const VoiceWork& work) {
  // The converters run in the run folder: a relative input is taken from
  // the current folder here, where it was checked.
  return hosts::NoThrow(std::string(), [&] { return Convert(target, platform::FullPath(input), work); });
}

}  // namespace zoq
