// The recording test instrument: a VstAdapter with a known parameter set and
// a deterministic ramp as its sound.
#include "support/RecordingInstrument.h"

#include <xmmintrin.h>

#include <memory>

namespace morvanta {
namespace testing {

namespace {

const Identity kTestIdentity = {"Recorder", "", "Tester", 0x74657374, 0x00010203,
                                4, 3, "0-2"};

}  // namespace

RecordingInstrument::RecordingInstrument(HostCallback host, bool withEditor)
    : VstAdapter(kTestIdentity, host) {
  ParameterAt(0)->DefineDouble("Gain", 50.0, 0.0, 100.0, 0.01, "%");
  ParameterAt(1)->DefineInt("Pitch", 0, -24, 24, "");
  ParameterAt(2)->DefineDouble("Attack", 0.1, 0.0, 5.0, 0.01, "s");
  ParameterAt(2)->shape = 3.0;
  if (withEditor) AttachEditor(std::make_unique<FakeEditor>(1370, 760, false));
  AddPresetFromCurrent("init");
  changed.clear();
}

void RecordingInstrument::SysExReceived(int32_t, int32_t size, const uint8_t* bytes) {
  if (bytes) sysex.assign(bytes, bytes + size);
}

double RampSample(long n, int channel) { return (n + 1) * (channel + 1) / 3.0; }

void RecordingInstrument::RenderBlock(double**, double** outputs, int frames) {
  mxcsrDuringRender = _mm_getcsr();
  renderedBlocks.push_back(frames);
  for (int c = 0; c < NumOutputs(); ++c)
    for (int i = 0; i < frames; ++i)
      outputs[c][i] = fixedSample != 0.0 ? fixedSample : RampSample(frameCounter + i, c);
  frameCounter += frames;
}

}  // namespace testing
}  // namespace morvanta
