// The settings each bus effect reads once per block, in the effect's own
// units: the engine fills them from its parameter snapshot.
#pragma once

#include <cstdint>

namespace morvanta {

// The chorus ("Mod ..." parameters), fractions 0..1 unless stated.
struct ChorusSettings {
  double mix = 0.5;
  double delay = 0.2;
  double feedback = 0.1;
  double amp = 0.2;
  double speed = 0.1;
  int32_t mode = 0;  // 0: 1 ms base delay, otherwise 10 ms
};

// The echo ("Delay ..." parameters), fractions 0..1 unless stated.
struct DelaySettings {
  double timeMs = 400.0;
  double level = 0.5;
  double feedback = 0.4;
  double colour = 0.5;
  double drive = 0.4;
  int32_t pingPongType = 0;  // 0 STRAIGHT, otherwise OFFSET
  int32_t tempoSync = 0;
  double width = 0.65;
};

// The reverb's settings block as the snapshot hands it over (twelve slots
// followed by the two constants that no parameter sets).
struct ReverbSettings {
  double length = 0.7;           // "Reverb length" / 100
  double preDelayBase = 0.05;    // constant
  double damp = 0.5;             // "Reverb damp" / 100
  double damp2 = 0.5;            // the same value again
  double filterSpreadBase = 0.1; // constant
  double hp = 0.02;              // "Reverb hp" / 100
  double lengthFactor = 0.76;    // 0.2 + 0.8 * length
  double width = 1.0;            // constant
  double outputScaleBase = 1.5;  // constant
  int32_t variant = 0;           // constant
  double mod = 0.1;              // "Reverb mod" / 100
  double modRateBase = 0.1;      // constant
  int32_t networkMode = 1;       // constant (first of the two trailing int32)
  int32_t spare = 1;             // constant (second of the two trailing int32)
};

}  // namespace morvanta
