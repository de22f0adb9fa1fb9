// Plays a NoteSequence into a loaded plug-in block by block, the way a DAW's
// offline export does, and collects the interleaved output.
#include "tools/render/OfflineRenderer.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace morvanta {
namespace render {

std::vector<std::pair<int64_t, TimedMidi>> OfflineRenderer::ScheduleFrames(
    const NoteSequence& sequence, int sampleRate) {
  std::vector<std::pair<int64_t, TimedMidi>> scheduled;
  std::map<std::pair<int, int>, int64_t> lastOn;
  for (const TimedMidi& m : sequence.Messages()) {
    int64_t frame = std::llround(m.seconds * sampleRate);
    const int kind = m.bytes[0] & 0xF0;
    const std::pair<int, int> note(m.bytes[0] & 0x0F, m.bytes[1]);
    if (kind == 0x90 && m.bytes[2] > 0) {
      lastOn[note] = frame;
    } else if (kind == 0x80 || kind == 0x90) {
      auto it = lastOn.find(note);
      if (it != lastOn.end() && frame <= it->second) frame = it->second + 1;
    }
    scheduled.emplace_back(frame, m);
  }
  std::stable_sort(scheduled.begin(), scheduled.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  return scheduled;
}

bool OfflineRenderer::Render(host::PluginInstance* plugin, const NoteSequence& sequence,
                             const RenderSettings& settings, const Progress& progress,
                             const volatile std::sig_atomic_t* stop, RenderResult* result,
                             std::string* error) {
  AEffect* effect = plugin->Effect();
  const int channels = effect ? effect->numOutputs : 0;
  if (channels < 1) {
    *error = "the plug-in has no audio outputs";
    return false;
  }
  const int rate = settings.sampleRate;
  const int block = settings.blockSize;
  const auto events = ScheduleFrames(sequence, rate);
  const int64_t endFrame = std::llround(sequence.EndSeconds() * rate);
  const int64_t maxFrames = endFrame + std::llround(std::max(settings.tailSeconds, 0.0) * rate);
  const int64_t quietStop = std::llround(kQuietSecondsBeforeStop * rate);
  const double threshold = std::pow(10.0, settings.tailThresholdDb / 20.0);

  result->channels = channels;
  result->interleaved.clear();
  result->interleaved.reserve(static_cast<size_t>(std::min<int64_t>(maxFrames, 60LL * 60 * rate)) *
                              channels);
  std::vector<std::vector<float>> floatBuffers(channels, std::vector<float>(block));
  std::vector<std::vector<double>> doubleBuffers(
      settings.path == ProcessPath::kDouble ? channels : 0, std::vector<double>(block));
  std::vector<float*> floatPointers(channels);
  std::vector<double*> doublePointers(channels);
  for (int c = 0; c < channels; ++c) {
    floatPointers[c] = floatBuffers[c].data();
    if (settings.path == ProcessPath::kDouble) doublePointers[c] = doubleBuffers[c].data();
  }

  std::vector<host::MidiEvent> blockEvents;
  size_t next = 0;
  int64_t pos = 0;
  int64_t lastLoud = -1;
  int64_t quietRun = 0;
  while (pos < maxFrames && (pos < endFrame || quietRun < quietStop)) {
    if (stop && *stop) {
      result->interrupted = true;
      return false;
    }
    const int n = static_cast<int>(std::min<int64_t>(block, maxFrames - pos));
    blockEvents.clear();
    while (next < events.size() && events[next].first < pos + n) {
      host::MidiEvent e;
      e.deltaFrames = static_cast<int32_t>(std::max<int64_t>(events[next].first - pos, 0));
      std::copy(events[next].second.bytes, events[next].second.bytes + 3, e.bytes);
      blockEvents.push_back(e);
      ++next;
    }
    if (!blockEvents.empty()) plugin->SendMidi(blockEvents);
    plugin->SetTempo(settings.fixedTempo > 0.0 ? settings.fixedTempo
                                               : sequence.TempoAt(static_cast<double>(pos) / rate));

    switch (settings.path) {
      case ProcessPath::kFloat:
        plugin->ProcessFloat(floatPointers.data(), n);
        break;
      case ProcessPath::kAccumulate:
        for (auto& b : floatBuffers) std::fill(b.begin(), b.begin() + n, 0.0f);
        plugin->ProcessAccumulate(floatPointers.data(), n);
        break;
      case ProcessPath::kDouble:
        plugin->ProcessDouble(doublePointers.data(), n);
        for (int c = 0; c < channels; ++c) {
          for (int i = 0; i < n; ++i) floatBuffers[c][i] = static_cast<float>(doubleBuffers[c][i]);
        }
        break;
    }

    for (int i = 0; i < n; ++i) {
      bool loud = false;
      for (int c = 0; c < channels; ++c) {
        float s = floatBuffers[c][i];
        if (!std::isfinite(s)) {
          s = 0.0f;
          ++result->nonFiniteSamples;
        }
        loud = loud || std::fabs(s) >= threshold;
        result->interleaved.push_back(s);
      }
      if (loud) {
        lastLoud = pos + i;
        quietRun = 0;
      } else if (pos + i >= endFrame) {
        ++quietRun;
      }
    }
    pos += n;
    if (progress) progress(pos, maxFrames);
  }

  // The tail ends where the output last reached the threshold.
  const int64_t frames = pos > endFrame ? std::max(endFrame, std::min(pos, lastLoud + 1)) : pos;
  result->interleaved.resize(static_cast<size_t>(frames) * channels);
  result->frames = frames;
  FadeOut(result, std::llround(kFinalFadeSeconds * rate));
  return true;
}

void OfflineRenderer::FadeOut(RenderResult* result, int64_t fadeFrames) {
  const int64_t n = std::min(fadeFrames, result->frames);
  const int channels = result->channels;
  for (int64_t i = 0; i < n; ++i) {
    // A raised-cosine from 1 at the start of the fade to 0 past its end.
    const double pi = std::acos(-1.0);
    const double gain = 0.5 + 0.5 * std::cos(pi * static_cast<double>(i + 1) / static_cast<double>(n + 1));
    float* frame = &result->interleaved[static_cast<size_t>(result->frames - n + i) * channels];
    for (int c = 0; c < channels; ++c) frame[c] = static_cast<float>(frame[c] * gain);
  }
}

}  // namespace render
}  // namespace morvanta
