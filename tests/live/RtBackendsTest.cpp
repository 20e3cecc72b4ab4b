// The RtAudio output and the ALSA sequencer input: the parts that need no device (message
// packing, rate order, device names), and clean failure where the machine has no sound devices.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "AlsaMidiInput.h"
#include "DrumEngine.h"
#include "EngineTestSupport.h"
#include "KitbeatDoc.h"
#include "LiveCycle.h"
#include "MessageQueue.h"
#include "RtAudioBackend.h"
#include "ShortMessage.h"

namespace zumbel {
namespace {

std::vector<StampedMessage> drain(MessageQueue& queue) {
  std::vector<StampedMessage> out;
  StampedMessage m;
  while (queue.peek(m)) {
    out.push_back(m);
    queue.pop();
  }
  return out;
}

void deliverBytes(MessageQueue& queue, std::vector<unsigned char> bytes, uint64_t stamp = 7) {
  AlsaMidiInput::deliver(queue, bytes.data(), bytes.size(), stamp);
}

TEST(AlsaMidiDeliver, PacksShortMessagesAndFillsMissingDataWithZero) {
  MessageQueue queue;
  deliverBytes(queue, {0x99, 36, 100}, 1234);
  deliverBytes(queue, {0xC3, 5});
  deliverBytes(queue, {0xF8});
  const std::vector<StampedMessage> got = drain(queue);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].timeNs, 1234u);
  EXPECT_EQ(got[0].message, packShortMessage(0x99, 36, 100));
  EXPECT_EQ(got[1].message, packShortMessage(0xC3, 5, 0));
  EXPECT_EQ(got[2].message, packShortMessage(0xF8, 0, 0));
}

TEST(AlsaMidiDeliver, DropsSysexStatuslessEmptyAndLongMessages) {
  MessageQueue queue;
  deliverBytes(queue, {0xF0, 0x7E, 0x7F, 0xF7});
  deliverBytes(queue, {0xF0, 0x41, 0xF7});
  deliverBytes(queue, {0xF7});
  deliverBytes(queue, {0x40, 0x7F});
  deliverBytes(queue, {0x90, 36, 100, 0});
  deliverBytes(queue, {});
  AlsaMidiInput::deliver(queue, nullptr, 3, 1);
  EXPECT_TRUE(drain(queue).empty());
}

TEST(AlsaMidiDeliver, FullQueueKeepsTheEarlierMessages) {
  MessageQueue queue;
  for (std::size_t i = 0; i < MessageQueue::kCapacity; ++i) {
    deliverBytes(queue, {0x90, static_cast<unsigned char>(i & 0x7F), 100}, i);
  }
  deliverBytes(queue, {0x80, 1, 0}, 999999);
  EXPECT_EQ(queue.dropped(), 1u);
  const std::vector<StampedMessage> got = drain(queue);
  ASSERT_EQ(got.size(), MessageQueue::kCapacity);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].timeNs, i);
    EXPECT_EQ(got[i].message, packShortMessage(0x90, static_cast<int>(i & 0x7F), 100));
  }
}

// A stand-in for the sequencer: counts the clients and ports made and the clients still there.
struct FakeSequencer {
  int clients = 0, ports = 0, alive = 0;
  std::vector<std::string> sources{"Keys:Keys MIDI 1 20:0"};
};

class FakeSequencerClient final : public SequencerClient {
 public:
  explicit FakeSequencerClient(FakeSequencer& seq) : seq_(seq) {
    ++seq_.clients;
    ++seq_.alive;
  }
  ~FakeSequencerClient() override { --seq_.alive; }
  std::vector<std::string> sources() override { return seq_.sources; }
  std::string openPort(int source) override {
    if (source >= static_cast<int>(seq_.sources.size())) return "no such source";
    ++seq_.ports;
    return {};
  }

 private:
  FakeSequencer& seq_;
};

// A new or opened drum set closes the MIDI input and opens it again. The program's own port must
// survive that: it is the port other programs connected to, and a new port would have lost every
// connection. Only while open are its messages taken.
TEST(AlsaMidiOwnPort, ClosingAndReopeningKeepsThePortAndTakesMessagesOnlyWhileOpen) {
  FakeSequencer seq;
  MessageQueue queue;
  AlsaMidiInput input(queue, [&](AlsaMidiInput&, std::string&) { return std::make_unique<FakeSequencerClient>(seq); });
  const unsigned char note[] = {0x90, 36, 100};
  std::string detail;
  ASSERT_TRUE(input.openOwnPort(detail)) << detail;
  input.receive(note, 3, 1);
  input.close();
  input.receive(note, 3, 2);
  EXPECT_FALSE(input.isOpen());
  ASSERT_TRUE(input.openOwnPort(detail)) << detail;
  input.receive(note, 3, 3);
  EXPECT_EQ(seq.clients, 1);
  EXPECT_EQ(seq.ports, 1);
  EXPECT_EQ(seq.alive, 1);
  const std::vector<StampedMessage> taken = drain(queue);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].timeNs, 1u);
  EXPECT_EQ(taken[1].timeNs, 3u);

  // A port made for a source goes with its connection when closed; a failed open leaves nothing.
  ASSERT_TRUE(input.openSource(0, detail)) << detail;
  EXPECT_EQ(seq.alive, 1);
  EXPECT_EQ(seq.ports, 2);
  input.close();
  EXPECT_EQ(seq.alive, 0);
  EXPECT_FALSE(input.openSource(5, detail));
  EXPECT_EQ(detail, "no such source");
  EXPECT_FALSE(input.isOpen());
  EXPECT_EQ(seq.alive, 0);
}

// Left to RtAudio, a PulseAudio stream buffered 130 ms and more, and the program said one period.
TEST(RtAudioBuffers, PulseAudioBuffersAtLeastThreePeriodsAndTenMillisecondsAndTheLatencySaysSo) {
  EXPECT_EQ(streamBuffers(AudioApi::kPulse, 256, 44100), 3u);
  EXPECT_EQ(streamBuffers(AudioApi::kPulse, 64, 44100), 7u);  // 448 frames: just over 10 ms
  EXPECT_EQ(streamBuffers(AudioApi::kPulse, 64, 96000), 15u);
  EXPECT_EQ(streamBuffers(AudioApi::kAlsa, 64, 44100), 0u);
  // RtAudio knows ALSA's delay only once running, PulseAudio's never: until then, the buffers.
  EXPECT_EQ(outputLatency(0, 7, 64), 448);
  EXPECT_EQ(outputLatency(0, 0, 256), 256);
  EXPECT_EQ(outputLatency(1000, 4, 256), 1000);
}

TEST(RtAudioRates, AskedRateFirstThenTheDevicesOwnThenTheRestOnce) {
  EXPECT_EQ(rateTrialOrder(44100, 48000, {32000, 44100, 48000, 96000}), (std::vector<int>{44100, 48000, 32000, 96000}));
  // A device that cannot play 44100 still gets every rate it offers.
  EXPECT_EQ(rateTrialOrder(44100, 48000, {48000, 96000}), (std::vector<int>{44100, 48000, 96000}));
  // A device that did not say what it plays is still asked.
  EXPECT_EQ(rateTrialOrder(44100, 0, {}), (std::vector<int>{44100}));
}

TEST(RtAudioRates, RatesOutsideTheMixersBoundsAreNeverTried) {
  EXPECT_EQ(rateTrialOrder(44100, 4000, {4000, 5512, 44100, 768000}), (std::vector<int>{44100}));
  EXPECT_EQ(rateTrialOrder(4000, kMaxDeviceRate, {4000, static_cast<unsigned>(kMaxDeviceRate)}),
            (std::vector<int>{kMaxDeviceRate}));
  // Offering only rates the mixer cannot play leaves nothing to try.
  EXPECT_TRUE(rateTrialOrder(44100, 4000, {4000, 5512}).empty());
}

// Two loud hits at once add up past full scale. What RtAudio gets is clipped at -1..1 (it would
// wrap an over round to the opposite extreme when it converts to a card's 16 bits); the mix
// itself, as JACK and the offline render get it, is left as it is.
TEST(RtAudioPeriod, OversAreClippedBeforeRtAudioConvertsThem) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  DrumEngine engine(doc);
  LiveCycle live(engine);
  constexpr int kPeriod = 64;
  live.prepare(44100, kPeriod);
  // Sounds 0 and 1 are loud and positive, 2 and 3 loud and negative; each lasts two periods.
  for (int sound = 0; sound < 4; ++sound) {
    for (auto& src : doc.sound(sound).sources) src = 0;
    engine.voices().publish(sound, 0, test::makeVoice(engine.mixer(), test::dc(2 * kPeriod, sound < 2 ? 30000 : -30000)));
  }
  std::vector<float> left(kPeriod), right(kPeriod);
  for (const int first : {36, 38}) {
    const float full = first == 36 ? 1.0f : -1.0f;
    const TimedMessage pair[] = {{0, packShortMessage(0x90, first, 127)}, {0, packShortMessage(0x90, first + 1, 127)}};
    live.run(left.data(), right.data(), kPeriod, pair, steadyNowNs());
    EXPECT_GT(left[kPeriod - 1] * full, 1.2f) << "the mix itself is not clipped";
    renderClippedPeriod(&live, left.data(), right.data(), kPeriod, steadyNowNs());
    for (std::size_t i = 0; i < left.size(); ++i) {
      EXPECT_EQ(left[i], full) << i;
      EXPECT_EQ(right[i], full) << i;
    }
  }
  renderClippedPeriod(nullptr, left.data(), right.data(), kPeriod, steadyNowNs());
  EXPECT_EQ(left[0], 0.0f);
}

TEST(RtAudioNames, AlsaDevicesAreNamedByCardKeepingTheDeviceOnlyWhenNeeded) {
  std::vector<AudioDeviceInfo> devices{
      {AudioApi::kAlsa, "", "hw:HDA Intel PCH,0", 0},   {AudioApi::kAlsa, "", "hw:HDA Intel PCH,3", 1},
      {AudioApi::kAlsa, "", "hw:USB Audio, Rev 2,0", 2}, {AudioApi::kAlsa, "", "default", 3},
      {AudioApi::kPulse, "", "Built-in Audio", 0},
  };
  describeRtAudioOutputs(devices);
  EXPECT_EQ(devices[0].description, "ALSA: HDA Intel PCH (device 0)");
  EXPECT_EQ(devices[1].description, "ALSA: HDA Intel PCH (device 3)");
  EXPECT_EQ(devices[2].description, "ALSA: USB Audio, Rev 2");
  EXPECT_EQ(devices[3].description, "ALSA: default");
  EXPECT_EQ(devices[4].description, "PulseAudio: Built-in Audio");
  EXPECT_EQ(devices[1].module, "hw:HDA Intel PCH,3");  // what the backend opens stays RtAudio's
}

// The machine these run on in CI has no sound hardware at all; a developer's machine does, and
// there the device tests have nothing to show.
bool noSoundDevices() { return !std::filesystem::exists("/dev/snd"); }

class NoSoundDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!noSoundDevices()) GTEST_SKIP() << "this machine has sound devices";
  }
};

TEST_F(NoSoundDevice, AlsaOutputFailsCleanlyAndQuietly) {
  ::testing::internal::CaptureStderr();
  const std::vector<AudioDeviceInfo> listed = listRtAudioOutputs(AudioApi::kAlsa);
  RtAudioBackend backend(AudioDeviceInfo{AudioApi::kAlsa, "ALSA: default", "", -1});
  backend.close();  // before any open
  std::string detail;
  const OpenStatus status = backend.open(AudioStreamRequest{}, detail);
  backend.close();
  backend.close();
  const std::string printed = ::testing::internal::GetCapturedStderr();

  EXPECT_TRUE(listed.empty());
  EXPECT_NE(status, OpenStatus::kOk);
  EXPECT_FALSE(detail.empty());
  EXPECT_EQ(printed, "");
}

TEST_F(NoSoundDevice, ListedAlsaDeviceThatIsGoneIsNoDevice) {
  RtAudioBackend backend(AudioDeviceInfo{AudioApi::kAlsa, "ALSA: Gone", "hw:Gone,0", 2});
  std::string detail;
  EXPECT_EQ(backend.open(AudioStreamRequest{}, detail), OpenStatus::kNoDevice);
  EXPECT_FALSE(detail.empty());
}

TEST_F(NoSoundDevice, StartWithoutAnOpenStreamIsRefused) {
  CKitbeatDoc doc;
  DrumEngine engine(doc);
  LiveCycle cycle(engine);
  RtAudioBackend backend(AudioDeviceInfo{AudioApi::kAlsa, "ALSA: default", "", -1});
  std::string detail;
  EXPECT_NE(backend.open(AudioStreamRequest{}, detail), OpenStatus::kOk);
  detail.clear();
  EXPECT_FALSE(backend.start(cycle, detail));
  EXPECT_FALSE(detail.empty());
}

TEST_F(NoSoundDevice, PulseWithoutAServerFailsCleanly) {
  // A socket that does not exist, so no server answers and none is spawned.
  const char* before = std::getenv("PULSE_SERVER");
  const std::string saved = before ? before : "";
  ::setenv("PULSE_SERVER", "unix:/nonexistent/zumbel-test-pulse", 1);
  const std::vector<AudioDeviceInfo> listed = listRtAudioOutputs(AudioApi::kPulse);
  RtAudioBackend backend(AudioDeviceInfo{AudioApi::kPulse, "PulseAudio: default", "", -1});
  std::string detail;
  const OpenStatus status = backend.open(AudioStreamRequest{}, detail);
  backend.close();
  if (before) {
    ::setenv("PULSE_SERVER", saved.c_str(), 1);
  } else {
    ::unsetenv("PULSE_SERVER");
  }
  if (status == OpenStatus::kOk) GTEST_SKIP() << "a PulseAudio server answered";
  EXPECT_TRUE(listed.empty());
  EXPECT_FALSE(detail.empty());
}

TEST_F(NoSoundDevice, AlsaMidiHasNoSourcesAndOpensNothing) {
  MessageQueue queue;
  AlsaMidiInput input(queue);
  input.close();
  ::testing::internal::CaptureStderr();
  const std::vector<std::string> sources = input.sources();
  std::string ownDetail, sourceDetail;
  const bool ownOpened = input.openOwnPort(ownDetail);
  const bool sourceOpened = input.openSource(0, sourceDetail);
  const std::string printed = ::testing::internal::GetCapturedStderr();
  input.close();

  EXPECT_TRUE(sources.empty());
  EXPECT_FALSE(ownOpened);
  EXPECT_FALSE(ownDetail.empty());
  EXPECT_FALSE(sourceOpened);
  EXPECT_FALSE(sourceDetail.empty());
  EXPECT_FALSE(input.isOpen());
  EXPECT_EQ(printed, "");
}

}  // namespace
}  // namespace zumbel
