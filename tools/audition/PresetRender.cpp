// One factory program through Morvanta.so, from a fresh instance each time:
// the bus clipper's peak memory and the effect tails would otherwise carry
// one program's history into the next one's measurements.
#include "tools/audition/PresetRender.h"

#include <cstring>

#include "tools/host/VstHost.h"
#include "tools/render/OfflineRenderer.h"

namespace morvanta {
namespace audition {
namespace {

constexpr int kBlockSize = 512;
constexpr size_t kChunkHeaderBytes = 8;

std::unique_ptr<host::PluginInstance> Open(const std::string& path, int rate, std::string* error) {
  auto plugin = host::PluginInstance::Load(path, error);
  if (!plugin) return nullptr;
  plugin->SetSampleRate(rate);
  plugin->SetBlockSize(kBlockSize);
  plugin->Resume();
  return plugin;
}

// The program chunk is the 8-byte header and one little-endian double per
// parameter.
bool ReadValues(host::PluginInstance* plugin, ProgramValues* out, std::string* error) {
  const std::vector<uint8_t> chunk = plugin->GetChunk(false);
  if (chunk.size() < kChunkHeaderBytes || (chunk.size() - kChunkHeaderBytes) % sizeof(double)) {
    *error = "the program chunk has an unexpected size (" + std::to_string(chunk.size()) + " bytes)";
    return false;
  }
  out->values.resize((chunk.size() - kChunkHeaderBytes) / sizeof(double));
  std::memcpy(out->values.data(), chunk.data() + kChunkHeaderBytes,
              out->values.size() * sizeof(double));
  return true;
}

}  // namespace

int CountPrograms(const std::string& pluginPath, std::string* error) {
  auto plugin = host::PluginInstance::Load(pluginPath, error);
  return plugin ? plugin->NumPrograms() : -1;
}

std::vector<std::string> ProgramNames(const std::string& pluginPath, std::string* error) {
  std::vector<std::string> names;
  auto plugin = host::PluginInstance::Load(pluginPath, error);
  if (!plugin) return names;
  for (int i = 0; i < plugin->NumPrograms(); ++i) names.push_back(plugin->ProgramName(i));
  return names;
}

bool RenderProgram(const std::string& pluginPath, int program, int sampleRate,
                   RenderedProgram* out, std::string* error, double tailSeconds) {
  auto plugin = Open(pluginPath, sampleRate, error);
  if (!plugin) return false;
  if (program < 0 || program >= plugin->NumPrograms()) {
    *error = "no program " + std::to_string(program);
    return false;
  }
  plugin->SetProgram(program);
  out->program = program;
  out->sampleRate = sampleRate;
  out->name = plugin->ProgramName(program);
  out->category = CategoryOfName(out->name);
  if (!ReadValues(plugin.get(), &out->values, error)) return false;
  out->phrase = MakePhrase(out->category, out->values);

  render::RenderSettings settings;
  settings.sampleRate = sampleRate;
  settings.blockSize = kBlockSize;
  settings.path = render::ProcessPath::kDouble;
  settings.fixedTempo = 120.0;
  settings.tailSeconds = tailSeconds;
  render::RenderResult result;
  render::OfflineRenderer renderer;
  if (!renderer.Render(plugin.get(), out->phrase.sequence, settings, nullptr, nullptr, &result,
                       error)) {
    return false;
  }
  const size_t frames = static_cast<size_t>(result.frames);
  const int channels = result.channels;
  out->left.resize(frames);
  out->right.resize(frames);
  for (size_t i = 0; i < frames; ++i) {
    out->left[i] = result.interleaved[i * channels];
    out->right[i] = result.interleaved[i * channels + (channels > 1 ? 1 : 0)];
  }
  out->nonFiniteSamples = result.nonFiniteSamples;
  return true;
}

StereoView ViewOf(const RenderedProgram& p) {
  return {p.left.data(), p.right.data(), p.left.size(), p.sampleRate};
}

Metrics MeasureProgram(const RenderedProgram& p, double tailSeconds) {
  return Measure(ViewOf(p), p.phrase.firstNoteSeconds, p.phrase.releaseSeconds, tailSeconds);
}

Fingerprint FingerprintOf(const RenderedProgram& p, const Spectrogram& spectrogram) {
  constexpr double kAfterReleaseSeconds = 1.0;
  return MakeFingerprint(spectrogram, p.phrase.releaseSeconds + kAfterReleaseSeconds);
}

}  // namespace audition
}  // namespace morvanta
