// Voice conversion with stand-ins of the converters (fake_converter.cpp):
// the command lines in their order, the work files, the bytes returned and
// the lines logged through the host's log function.
#include <windows.h>

#include <filesystem>

#include "hosts/adapters.hpp"
#include "hosts/table/function_table/voice_conversion.hpp"
#include "platform/files.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) names.push_back(entry.path().filename().string());
  return names;
}

class VoiceTest : public AdapterTest<TableHostApi> {
 protected:
  VoiceTest() : AdapterTest("tablehost.dll") { api_.InitApiTable("KEY", ApiTableOf(fake_)); }

  // A run folder (its path holds a dot: the test's name) with the named
  // converters in main\corn.
  void UsePrograms(std::initializer_list<const char*> programs) {
    platform::CreateFolders(corn_);
    for (const char* p : programs)
      CopyFileA((platform::ExecutableFolder() + "\\main\\corn\\" + p).c_str(), (corn_ + "\\" + p).c_str(), FALSE);
  }
  std::string Input(const std::string& name, const std::string& bytes) {
    const std::string path = full_ + "\\" + name;
    platform::WriteWholeFile(path, bytes);
    return path;
  }
  std::string Convert(VoiceTarget target, const std::string& input) {
    return ConvertVoice(target, input, {run_, [this] { return numbers_.at(drawn_++); },
                                        [this](const std::string& line) { api_.OutputLog(line); }});
  }
  // The lines logged, and the command lines the converters saw.
  std::vector<std::string> Logged() {
    std::vector<std::string> lines;
    for (const FakeCall& c : fake_.Calls())
      if (c.function == "输出日志" && c.args.size() == 4 && c.args[2] == "32768" && c.args[3] == "16777215")
        lines.push_back(c.args[1]);
    fake_.Reset();
    return lines;
  }
  std::vector<std::string> Ran() {
    std::vector<std::string> lines;
    std::string all = platform::ReadWholeFile(corn_ + "\\converter.log");
    platform::RemoveFile(corn_ + "\\converter.log");
    for (std::size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
      // <program path> TAB <working folder> TAB <command line>: the program
      // checked below the run folder, run in the run folder.
      const std::string line = all.substr(start, end - start);
      const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
      const std::string command = line.substr(tab2 + 1);
      EXPECT_EQ(line.substr(0, tab1), run_ + "\\" + command.substr(0, command.find(' ')) + ".exe");
      EXPECT_EQ(line.substr(tab1 + 1, tab2 - tab1 - 1), run_);
      lines.push_back(command);
    }
    return lines;
  }

  std::string full_ = platform::FullPath(folder_);
  std::string run_ = full_ + "\\run.d";
  std::string corn_ = run_ + "\\main\\corn";
  std::string voice_ = run_ + "\\main\\data\\voice";
  std::vector<std::uint32_t> numbers_{1000, 1001, 1002, 1003, 1004, 1005};
  std::size_t drawn_ = 0;
};

TEST_F(VoiceTest, EachConversionRunsItsCommandsAndReturnsTheOutput) {
  UsePrograms({"ffmpeg.exe", "silk_v3_decoder.exe", "silkencoder.exe"});
  const std::string silk = Input("a.silk", "S"), amr = Input("b.amr", "#!AMR-WB\n"), wav = Input("c.wav", "W");
  const std::string b = voice_ + "\\";
  EXPECT_EQ(Convert(VoiceTarget::Mp3, silk), "S|silk_v3_decoder|ffmpeg");
  EXPECT_EQ(Ran(), (std::vector<std::string>{
                       "main\\corn\\silk_v3_decoder \"" + silk + "\" \"" + b + "1000a.pcm\"",
                       "main\\corn\\ffmpeg -f s16le -ar 24000 -ac 1 -i \"" + b + "1000a.pcm\" \"" + b + "1000a.mp3\""}));
  EXPECT_EQ(Convert(VoiceTarget::Mp3, amr), "#!AMR-WB\n|ffmpeg");
  EXPECT_EQ(Ran(), std::vector<std::string>{"main\\corn\\ffmpeg -i \"" + amr + "\" \"" + b + "1001b.mp3\""});
  EXPECT_EQ(Convert(VoiceTarget::Silk, wav), "W|ffmpeg|silkencoder");
  EXPECT_EQ(Ran(), (std::vector<std::string>{
                       "main\\corn\\ffmpeg -i \"" + wav + "\" -f s16le -ar 24000 -ac 1 -acodec pcm_s16le \"" + b + "1002c.pcm\"",
                       "main\\corn\\silkencoder pts -i \"" + b + "1002c.pcm\" -o \"" + b + "1002c.silk\" -s 24000"}));
  EXPECT_EQ(Convert(VoiceTarget::Amr, wav), "W|ffmpeg|ffmpeg");
  EXPECT_EQ(Ran(), (std::vector<std::string>{
                       "main\\corn\\ffmpeg -i \"" + wav + "\" -f wav \"" + b + "1003c.wav\"",
                       "main\\corn\\ffmpeg -i \"" + b + "1003c.wav\" -ar 8000 -ab 12.2k -ac 1 \"" + b + "1003c.amr\""}));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"silk解码->解码完成", "silk解码->解码完成", "silk编码->编码完成",
                                                "amr编码->编码完成"}));
  EXPECT_EQ(FilesIn(voice_), std::vector<std::string>{});  // every work file deleted
  EXPECT_EQ(platform::ReadWholeFile(silk), "S");           // the input stays
}

// Programs are looked for before the input; whatever the input or the
// output, the work files go and the outcome is logged. Mended: a relative
// input was checked in the current folder but handed to converters that
// run in the run folder; an output too large to hold threw out of the
// conversion and left its work files.
TEST_F(VoiceTest, EveryOutcomeIsLoggedAndNoWorkFileStays) {
  // The voice folder and its parents are made; a work file left from before
  // makes another number be drawn, and is left alone.
  platform::CreateFolders(voice_);
  platform::WriteWholeFile(voice_ + "\\1000a.mp3", "OLD");
  const std::string before = platform::CurrentFolder();
  const struct {
    const char* program;  // put in main\corn before the case
    VoiceTarget target;
    std::string input, bytes, result, logged;
  } cases[] = {
      {nullptr, VoiceTarget::Amr, full_ + "\\none.wav", "", "", "amr解码->corn文件夹缺少语音转码库，请自行到官网或交流群下载"},
      {"ffmpeg.exe", VoiceTarget::Mp3, full_ + "\\c.wav", "W", "", "silk解码->corn文件夹缺少语音转码库，请自行到官网或交流群下载"},
      {nullptr, VoiceTarget::Silk, full_ + "\\c.wav", "W", "", "silk解码->corn文件夹缺少语音转码库，请自行到官网或交流群下载"},
      {nullptr, VoiceTarget::Amr, full_ + "\\none.wav", "", "", "amr解码->音频文件不存在"},
      {nullptr, VoiceTarget::Amr, full_, "", "", "amr解码->音频文件不存在"},  // a folder is no input
      {"silk_v3_decoder.exe", VoiceTarget::Mp3, "a.silk", "S", "S|silk_v3_decoder|ffmpeg", "silk解码->解码完成"},
      {nullptr, VoiceTarget::Mp3, full_ + "\\voice", "V", "V|silk_v3_decoder|ffmpeg", "silk解码->解码完成"},
      {nullptr, VoiceTarget::Mp3, full_ + "\\bad.silk", "fail", "", "silk解码->解码失败"},
      {nullptr, VoiceTarget::Mp3, full_ + "\\huge.silk", "huge", "", "silk解码->解码失败"},
      // 乗's second byte is a backslash: the file's name is kept whole.
      {nullptr, VoiceTarget::Mp3, full_ + "\\乗.silk", "S", "S|silk_v3_decoder|ffmpeg", "silk解码->解码完成"},
  };
  for (const auto& c : cases) {
    if (c.program) UsePrograms({c.program});
    platform::SetCurrentFolder(full_);
    if (!c.bytes.empty()) platform::WriteWholeFile(c.input, c.bytes);
    std::string result = "thrown";
    EXPECT_NO_THROW(result = Convert(c.target, c.input));
    platform::SetCurrentFolder(before);
    EXPECT_EQ(result, c.result) << c.input;
    EXPECT_EQ(Logged(), std::vector<std::string>{c.logged}) << c.input;
    EXPECT_EQ(FilesIn(voice_), std::vector<std::string>{"1000a.mp3"}) << c.input;
  }
  const std::vector<std::string> ran = Ran();
  ASSERT_GE(ran.size(), 3u);
  EXPECT_EQ(ran[0], "main\\corn\\silk_v3_decoder \"" + full_ + "\\a.silk\" \"" + voice_ + "\\1001a.pcm\"");
  EXPECT_EQ(ran[2], "main\\corn\\silk_v3_decoder \"" + full_ + "\\voice\" \"" + voice_ + "\\1002voice.pcm\"");
  EXPECT_EQ(ran.back(), "main\\corn\\ffmpeg -f s16le -ar 24000 -ac 1 -i \"" + voice_ + "\\1005乗.pcm\" \"" + voice_ + "\\1005乗.mp3\"");
  EXPECT_EQ(platform::ReadWholeFile(voice_ + "\\1000a.mp3"), "OLD");
}

TEST_F(VoiceTest, TheAdaptersSlotsUseTheProgramsBelowTheHostsFolder) {
  const std::string silk = Input("a.silk", "S");
  EXPECT_EQ(api_.SilkDecodeToMp3(silk), "S|silk_v3_decoder|ffmpeg");
  EXPECT_EQ(api_.EncodeToSilk(silk), "S|ffmpeg|silkencoder");
  EXPECT_EQ(api_.EncodeToAmr(silk), "S|ffmpeg|ffmpeg");
  EXPECT_EQ(Logged(), (std::vector<std::string>{"silk解码->解码完成", "silk编码->编码完成", "amr编码->编码完成"}));
  EXPECT_EQ(FilesIn(platform::ExecutableFolder() + "\\main\\data\\voice"), std::vector<std::string>{});
}

}  // namespace
}  // namespace zoq::testing
