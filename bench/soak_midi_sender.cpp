// The MIDI half of the soak run (bench/soak-run): a JACK client that plays the soak's note stream
// (SoakNotes.h) from its output port into another client's MIDI input, frame-exactly, for a given
// time, then sends the last note-offs and says what it sent.
//   soak_midi_sender SET.drums --connect CLIENT:PORT [--seconds S] [--rate NOTES_PER_SECOND] [--no-note-offs]
// The note-ons are evenly spaced: 11025 a second are sixteen in every 64-frame period, one every
// four frames, as bench_lv2_dense plays its dense case. --no-note-offs sends note-ons only.
// The server is the one JACK_DEFAULT_SERVER names. Exit status 0 when everything was sent, 1 when
// some messages did not fit the port's buffer, 2 on an error.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "SoakNotes.h"

namespace {

using zumbel::bench::NoteStream;

std::atomic<bool> stopRequested{false};
void requestStop(int) { stopRequested.store(true, std::memory_order_relaxed); }

struct Sender {
  jack_port_t* port = nullptr;
  NoteStream* stream = nullptr;
  uint64_t frame = 0;        // the stream's own frame count: the frames this client has run
  uint64_t stopAtFrame = 0;  // no note-on from here on
  std::atomic<bool> stopNow{false};
  std::atomic<bool> quiet{false};
  std::atomic<uint64_t> dropped{0};
  std::atomic<bool> serverGone{false};

  static void shutdown(void* arg) noexcept { static_cast<Sender*>(arg)->serverGone.store(true); }

  static int process(jack_nframes_t frames, void* arg) noexcept {
    auto* self = static_cast<Sender*>(arg);
    void* buffer = jack_port_get_buffer(self->port, frames);
    jack_midi_clear_buffer(buffer);
    if (self->stopNow.load(std::memory_order_relaxed) || self->frame + frames > self->stopAtFrame) {
      self->stream->stopNotes();
    }
    self->stream->block(self->frame, frames, [&](uint32_t offset, int status, int note, int velocity) {
      const jack_midi_data_t bytes[3] = {static_cast<jack_midi_data_t>(status), static_cast<jack_midi_data_t>(note),
                                         static_cast<jack_midi_data_t>(velocity)};
      if (jack_midi_event_write(buffer, offset, bytes, 3) != 0) self->dropped.fetch_add(1, std::memory_order_relaxed);
    });
    self->frame += frames;
    self->quiet.store(self->stream->quiet(), std::memory_order_release);
    return 0;
  }
};

int usage() {
  std::fprintf(stderr,
               "usage: soak_midi_sender SET.drums --connect CLIENT:PORT [--seconds S] [--rate NOTES_PER_SECOND] "
               "[--no-note-offs]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string set, target;
  double seconds = 3600, rate = 200;
  bool noteOffs = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool value = i + 1 < argc;
    if (a == "--connect" && value) {
      target = argv[++i];
    } else if (a == "--seconds" && value) {
      seconds = std::atof(argv[++i]);
    } else if (a == "--rate" && value) {
      rate = std::atof(argv[++i]);
    } else if (a == "--no-note-offs") {
      noteOffs = false;
    } else if (set.empty() && !a.starts_with("--")) {
      set = a;
    } else {
      return usage();
    }
  }
  if (set.empty() || target.empty() || !(seconds > 0) || !(rate > 0 && rate <= 44100)) return usage();
  const std::vector<int> notes = zumbel::bench::notesWithSamples(set);
  if (notes.empty()) {
    std::fprintf(stderr, "soak_midi_sender: %s: no drum set with samples\n", set.c_str());
    return 2;
  }
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);

  jack_client_t* client = jack_client_open("zumbel-soak-send", JackNoStartServer, nullptr);
  if (client == nullptr) {
    std::fprintf(stderr, "soak_midi_sender: no JACK server\n");
    return 2;
  }
  const auto sampleRate = static_cast<int>(jack_get_sample_rate(client));
  NoteStream stream(notes, sampleRate, rate, 1, noteOffs);
  Sender sender;
  sender.stream = &stream;
  sender.stopAtFrame = static_cast<uint64_t>(seconds * sampleRate);
  sender.port = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  jack_on_shutdown(client, &Sender::shutdown, &sender);
  if (sender.port == nullptr || jack_set_process_callback(client, &Sender::process, &sender) != 0 ||
      jack_activate(client) != 0) {
    std::fprintf(stderr, "soak_midi_sender: the JACK client would not start\n");
    jack_client_close(client);
    return 2;
  }
  const std::string source = std::string(jack_get_client_name(client)) + ":midi_out";
  if (jack_connect(client, source.c_str(), target.c_str()) != 0) {
    std::fprintf(stderr, "soak_midi_sender: cannot connect %s to %s\n", source.c_str(), target.c_str());
    jack_client_close(client);
    return 2;
  }
  std::printf("sending %g notes a second over %zu sounds for %g s to %s\n", rate, notes.size(), seconds, target.c_str());
  std::fflush(stdout);
  while (!sender.quiet.load(std::memory_order_acquire)) {
    if (sender.serverGone.load()) {
      std::fprintf(stderr, "soak_midi_sender: the JACK server went away\n");
      return 2;
    }
    if (stopRequested.load(std::memory_order_relaxed)) sender.stopNow.store(true, std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  jack_client_close(client);
  const uint64_t dropped = sender.dropped.load();
  std::printf("sent %llu note-ons and %llu note-offs; %llu did not fit the port's buffer\n",
              static_cast<unsigned long long>(stream.noteOns()), static_cast<unsigned long long>(stream.noteOffs()),
              static_cast<unsigned long long>(dropped));
  return dropped == 0 ? 0 : 1;
}
