// The panel's layout table. Slider columns share a y grid by destination, so
// the modulation matrix reads as rows (destinations) by columns (sources).
#include "editor/PanelLayout.h"

#include <initializer_list>

namespace morvanta {
namespace {

constexpr PanelBitmap kBitmaps[] = {
    {kBmpBackground, "resources/img/Synth124.png", 1, 1370, 768},
    {kBmpDiodeKnob, "resources/img/diodeKnob-b-80-1.png", 101, 80, 80},
    {kBmpSwitch, "resources/img/switch_slide40x20-11.png", 2, 40, 20},
    {kBmpSliderH, "resources/img/slider120x20x101-11.png", 101, 120, 20},
    {kBmpPowerSwitch, "resources/img/Power_switch_01-6.png", 2, 64, 64},
    {kBmpSliderHarmonic, "resources/img/slider30x120x101-12.png", 101, 30, 120},
    {kBmpRadio20, "resources/img/radio-selector-20x20.png", 2, 20, 20},
    {kBmpRadio60, "resources/img/radio-selector-60x20-4.png", 2, 60, 20},
    {kBmpRadio80, "resources/img/radio-selector-80x20.png", 2, 80, 20},
    {kBmpSliderGreen, "resources/img/slider30x120x101-12g.png", 101, 30, 120},
    {kBmpSliderPurple, "resources/img/slider30x120x101-12p.png", 101, 30, 120},
    {kBmpSliderYellow, "resources/img/slider30x120x101-12y.png", 101, 30, 120},
    {kBmpSliderHBipolar, "resources/img/slider120x20x101-11mid.png", 101, 120, 20},
    {kBmpUndo, "resources/img/undo1.png", 2, 25, 25},
    {kBmpRedo, "resources/img/redo1.png", 2, 25, 25},
    {kBmpAb, "resources/img/AB1.png", 2, 50, 25},
    {kBmpCopy, "resources/img/COPY1.png", 2, 75, 25},
};

constexpr int kLoadOrder[] = {102, 101, 103, 105, 104, 113, 106, 110, 111,
                              112, 107, 108, 109, 120, 121, 122, 123};

// Rows of the modulation matrix: every source column puts its cell for a
// destination at the destination's own y in the oscillator column.
enum RowY : int {
  kRowPan = 220,
  kRowPitch = 240,
  kRowAmp = 260,
  kRowPw = 280,
  kRowWaveShaper = 300,
  kRowRingMod = 320,
  kRowRingModF = 340,
  kRowBitDiv = 360,
  kRowBitFeed = 380,
  kRowPitchNoise = 400,
  kRowTubeDrive = 430,
  kRowFc = 460,
  kRowFr = 480,
  kRowHarmPhase = 530,
  kRowHarmonics = 550,
};

// Columns.
constexpr int kColAdsr1 = 20;
constexpr int kColOsc = 150;
constexpr int kColAdsr2 = 290;
constexpr int kColLfo1 = 430;
constexpr int kColLfo2 = 570;
constexpr int kColModw = 710;
constexpr int kColVel = 850;
constexpr int kColStepMod = 990;
constexpr int kColEffects = 1230;
constexpr int kColArp = 740;
constexpr int kVerticalRowY = 630;
constexpr int kHarmonicsX = 40;
constexpr int kStepRowsX = 870;
constexpr int kVerticalPitch = 30;  // x distance between vertical sliders

constexpr PanelItem H(int x, int y, int param) {
  return {PanelControlKind::SliderHorizontal, {x, y, 0, 0}, kBmpSliderH, param, 0};
}
constexpr PanelItem Hm(int x, int y, int param) {
  return {PanelControlKind::SliderHorizontal, {x, y, 0, 0}, kBmpSliderHBipolar, param, 0};
}
constexpr PanelItem V(int x, int y, int param, int bitmap) {
  return {PanelControlKind::SliderVertical, {x, y, 0, 0}, bitmap, param, 0};
}
constexpr PanelItem S(int x, int y, int param) {
  return {PanelControlKind::Switch, {x, y, 0, 0}, kBmpSwitch, param, 0};
}
constexpr PanelItem Push(int x, int y, int param, int bitmap) {
  return {PanelControlKind::PushButton, {x, y, 0, 0}, bitmap, param, 0};
}
constexpr PanelItem Radio(LayoutRect r, int param, int buttons, int bitmap) {
  return {PanelControlKind::RadioGroup, r, bitmap, param, buttons};
}

// Parameter indices are the instrument's; the comment names each one.
constexpr PanelItem kHead[] = {
    Push(828, 8, 236, kBmpUndo),                                      // undo
    Push(878, 8, 237, kBmpRedo),                                      // redo
    Push(978, 8, 239, kBmpCopy),                                      // copy
    {PanelControlKind::Switch, {928, 8, 0, 0}, kBmpAb, 238, 0},       // "AB"
    {PanelControlKind::LinkArea, {1250, 0, 1370, 40}, -1, -1, 0},     // link
    H(kColOsc, kRowAmp, 0),                                           // Amp gain
    Hm(kColOsc, kRowPan, 1),                                          // Pan
    H(820, 75, 232),                                                  // Pitch Range
    Hm(kColOsc, kRowPitch, 5),                                        // Pitch
    Hm(kColOsc, 180, 6),                                              // Fine
    H(kColEffects, 410, 207),                                         // Distortion
    H(kColEffects, kRowTubeDrive, 208),                               // Tube drive
    H(kColOsc, kRowFc, 18),                                           // Filter frequency
    H(kColOsc, kRowFr, 19),                                           // Filter resonance
    H(kColOsc, 440, 21),                                              // Filt. Mix LP-BP-HP
    H(kColOsc, 160, 7),                                               // Glide time
    Radio({340, 580, 440, 600}, 4, 5, kBmpRadio20),                   // Osc shape
    Radio({870, 590, 1050, 610}, 231, 3, kBmpRadio60),                // Arp Page
    H(kColAdsr1, 30, 123),                                            // ADSR1 attack
    H(kColAdsr1, 50, 124),                                            // ADSR1 decay
    H(kColAdsr1, 90, 126),                                            // ADSR1 release
    H(kColAdsr1, 70, 125),                                            // ADSR1 sustain
    S(65, 110, 127),                                                  // ADSR1 legato
    S(140, 110, 128),                                                 // ADSR1 x10
    H(kColAdsr2, 30, 129),                                            // ADSR2 attack
    H(kColAdsr2, 50, 130),                                            // ADSR2 decay
    H(kColAdsr2, 90, 132),                                            // ADSR2 release
    H(kColAdsr2, 70, 131),                                            // ADSR2 sustain
    S(295, 110, 133),                                                 // ADSR2 legato
    S(370, 110, 134),                                                 // ADSR2 x10
    S(336, 257, 234),                                                 // ADSR2 -> Pitch mode
    S(595, 610, 235),                                                 // Aftertouch -> ModW
    Radio({430, 30, 550, 50}, 152, 6, kBmpRadio20),                   // LFO1 shape
    S(510, 90, 154),                                                  // LFO1 retrigger
    S(510, 110, 155),                                                 // LFO1 sync
    H(kColLfo1, 50, 153),                                             // LFO1 frequency
    H(kColLfo1, 70, 156),                                             // LFO1 fade-in
    Radio({570, 30, 690, 50}, 171, 6, kBmpRadio20),                   // LFO2 shape
    S(650, 90, 173),                                                  // LFO2 retrigger
    S(650, 110, 174),                                                 // LFO2 sync
    H(kColLfo2, 50, 172),                                             // LFO2 frequency
    H(kColLfo2, 70, 175),                                             // LFO2 fade-in
};

// After the harmonic levels 1..16.
constexpr PanelItem kMiddle[] = {
    Hm(kColOsc, kRowHarmonics, 39),                                   // Harmonics slope
    H(kColOsc, 570, 40),                                              // Harmonics lfo amp
    H(kColOsc, 590, 41),                                              // Harmonics lfo speed
    H(kColOsc, kRowHarmPhase, 42),                                    // Harmonics phase shift
    Radio({590, 580, 830, 600}, 3, 3, kBmpRadio80),                   // Voice mode
    H(kColVel, kRowAmp, 110),                                         // Vel -> Amp
    H(kColVel, kRowPw, 111),                                          // Vel -> PW
    H(kColVel, kRowFc, 112),                                          // Vel -> FC
    H(kColVel, kRowFr, 113),                                          // Vel -> FR
    H(kColVel, kRowHarmonics, 114),                                   // Vel -> Harmonics
    H(kColVel, kRowBitDiv, 115),                                      // Vel -> Bit div
    H(kColVel, kRowBitFeed, 116),                                     // Vel -> Bit feed
    H(kColVel, kRowHarmPhase, 117),                                   // Vel -> Harm phase
    H(kColVel, kRowRingMod, 118),                                     // Vel -> Ring mod
    H(kColVel, kRowRingModF, 119),                                    // Vel -> Ring mod F
    H(kColVel, kRowWaveShaper, 120),                                  // Vel -> Wave shaper
    H(kColVel, kRowPitchNoise, 121),                                  // Vel -> Pitch noise
    H(kColVel, kRowTubeDrive, 122),                                   // Vel -> Tube drive
    H(kColOsc, kRowBitDiv, 14),                                       // Bit divider
    H(kColOsc, kRowBitFeed, 15),                                      // Bit feedback
    H(kColOsc, kRowRingMod, 10),                                      // Ring mod
    H(kColOsc, kRowRingModF, 11),                                     // Ring mod F
    S(110, 340, 12),                                                  // Ring mod Lock
    S(98, 320, 233),                                                  // Ring mod Mode
    H(kColOsc, kRowWaveShaper, 13),                                   // Wave shaper
    H(kColOsc, kRowPitchNoise, 16),                                   // Pitch noise
    H(kColOsc, 420, 17),                                              // Pitch noise Height
    H(kColOsc, kRowPw, 8),                                            // Pulse width
    S(110, 280, 9),                                                   // Pulse width Mode
    S(kColArp, 630, 43),                                              // Arp On
    Radio({740, 650, 820, 670}, 44, 4, kBmpRadio20),                  // Arp live Direction
    H(kColArp, 670, 45),                                              // Arp steps count
    H(kColArp, 690, 46),                                              // Arp loop start
    S(kColArp, 730, 48),                                              // Arp mod smooth
    H(kColArp, 710, 47),                                              // Arp tempo divider
};

// After the three step rows.
constexpr PanelItem kTail[] = {
    H(kColStepMod, kRowAmp, 97),                                      // ArpMod -> Amp
    H(kColStepMod, kRowFc, 99),                                       // ArpMod -> FC
    H(kColStepMod, kRowFr, 100),                                      // ArpMod -> FR
    H(kColStepMod, kRowPw, 98),                                       // ArpMod -> PW
    H(kColStepMod, kRowBitDiv, 101),                                  // ArpMod -> Bit div
    H(kColStepMod, kRowBitFeed, 102),                                 // ArpMod -> Bit feed
    H(kColStepMod, kRowHarmPhase, 103),                               // ArpMod -> Harm phase
    H(kColStepMod, kRowRingMod, 104),                                 // ArpMod -> Ring mod
    H(kColStepMod, kRowRingModF, 105),                                // ArpMod -> Ring mod F
    H(kColStepMod, kRowWaveShaper, 106),                              // ArpMod -> Wave shaper
    H(kColStepMod, kRowPitchNoise, 107),                              // ArpMod -> Pitch noise
    H(kColStepMod, kRowPan, 108),                                     // ArpMod -> Pan
    H(kColStepMod, kRowTubeDrive, 109),                               // ArpMod -> Tube drive
    H(kColOsc, 200, 2),                                               // Stereo spread
    H(kColOsc, 500, 22),                                              // Filter key track
    Hm(kColLfo1, kRowAmp, 157),                                       // Lfo1 -> Amp
    Hm(kColLfo1, kRowPitch, 158),                                     // Lfo1 -> Pitch
    Hm(kColLfo1, kRowPw, 159),                                        // Lfo1 -> PW
    Hm(kColLfo1, kRowFc, 160),                                        // Lfo1 -> FC
    Hm(kColLfo1, kRowFr, 161),                                        // Lfo1 -> FR
    Hm(kColLfo1, kRowBitDiv, 162),                                    // Lfo1 -> Bit div
    Hm(kColLfo1, kRowBitFeed, 163),                                   // Lfo1 -> Bit feed
    Hm(kColLfo1, kRowRingMod, 165),                                   // Lfo1 -> Ring mod
    Hm(kColLfo1, kRowRingModF, 166),                                  // Lfo1 -> Ring mod F
    Hm(kColLfo1, kRowWaveShaper, 167),                                // Lfo1 -> Wave shaper
    Hm(kColLfo1, kRowPitchNoise, 168),                                // Lfo1 -> Pitch moise
    Hm(kColLfo1, kRowHarmPhase, 164),                                 // Lfo1 -> Harm phase
    Hm(kColLfo1, kRowPan, 169),                                       // Lfo1 -> Pan
    Hm(kColLfo1, kRowTubeDrive, 170),                                 // Lfo1 -> Tube drive
    Hm(kColLfo2, kRowAmp, 176),                                       // Lfo2 -> Amp
    Hm(kColLfo2, kRowPitch, 177),                                     // Lfo2 -> Pitch
    Hm(kColLfo2, kRowPw, 178),                                        // Lfo2 -> PW
    Hm(kColLfo2, kRowFc, 179),                                        // Lfo2 -> FC
    Hm(kColLfo2, kRowFr, 180),                                        // Lfo2 -> FR
    Hm(kColLfo2, kRowBitDiv, 181),                                    // Lfo2 -> Bit div
    Hm(kColLfo2, kRowBitFeed, 182),                                   // Lfo2 -> Bit feed
    Hm(kColLfo2, kRowRingMod, 184),                                   // Lfo2 -> Ring mod
    Hm(kColLfo2, kRowRingModF, 185),                                  // Lfo2 -> Ring mod F
    Hm(kColLfo2, kRowWaveShaper, 186),                                // Lfo2 -> Wave shaper
    Hm(kColLfo2, kRowPitchNoise, 187),                                // Lfo2 -> Pitch noise
    Hm(kColLfo2, kRowHarmPhase, 183),                                 // Lfo2 -> Harm phase
    Hm(kColLfo2, kRowPan, 188),                                       // Lfo2 -> Pan
    Hm(kColLfo2, kRowTubeDrive, 189),                                 // Lfo2 -> Tube drive
    Hm(kColModw, kRowAmp, 190),                                       // Modw -> Amp
    Hm(kColModw, kRowPw, 191),                                        // Modw -> PW
    Hm(kColModw, kRowFc, 192),                                        // Modw -> FC
    Hm(kColModw, kRowFr, 193),                                        // Modw -> FR
    Hm(kColModw, kRowBitDiv, 194),                                    // Modw -> Bit div
    Hm(kColModw, kRowBitFeed, 195),                                   // Modw -> Bit feed
    Hm(kColModw, kRowHarmPhase, 196),                                 // Modw -> Harm phase
    Hm(kColModw, kRowRingMod, 197),                                   // Modw -> Ring mod
    Hm(kColModw, kRowRingModF, 198),                                  // Modw -> Ring mod F
    Hm(kColModw, kRowWaveShaper, 199),                                // Modw -> Wave shaper
    Hm(kColModw, kRowPitchNoise, 200),                                // Modw -> pitch noise
    Hm(kColLfo1, 170, 201),                                           // Modw -> Lfo1 Amp
    Hm(kColLfo1, 190, 202),                                           // Modw -> Lfo1 F
    Hm(kColLfo2, 170, 203),                                           // Modw -> Lfo2 Amp
    Hm(kColLfo2, 190, 204),                                           // Modw -> Lfo2 F
    Hm(kColModw, kRowTubeDrive, 205),                                 // Modw -> Tube drive
    Hm(kColAdsr2, kRowPitch, 135),                                    // ADSR2 -> Pitch
    Hm(kColAdsr2, kRowPw, 136),                                       // ADSR2 -> PW
    Hm(kColAdsr2, kRowFc, 137),                                       // ADSR2 -> FC
    Hm(kColAdsr2, kRowFr, 138),                                       // ADSR2 -> FR
    Hm(kColAdsr2, kRowBitDiv, 139),                                   // ADSR2 -> Bit div
    Hm(kColAdsr2, kRowBitFeed, 140),                                  // ADSR2 -> Bit feed
    Hm(kColAdsr2, kRowHarmPhase, 141),                                // ADSR2 -> Harm phase
    Hm(kColAdsr2, kRowRingMod, 142),                                  // ADSR2 -> Ring mod
    Hm(kColAdsr2, kRowRingModF, 143),                                 // ADSR2 -> Ring mod F
    Hm(kColAdsr2, kRowWaveShaper, 144),                               // ADSR2 -> Wave shaper
    Hm(kColAdsr2, kRowPitchNoise, 145),                               // ADSR2 -> Pitch noise
    Hm(kColLfo1, 130, 146),                                           // ADSR2 -> Lfo1 Amp
    Hm(kColLfo1, 150, 147),                                           // ADSR2 -> Lfo1 F
    Hm(kColLfo2, 130, 148),                                           // ADSR2 -> Lfo2 Amp
    Hm(kColLfo2, 150, 149),                                           // ADSR2 -> Lfo2 F
    Hm(kColAdsr2, kRowPan, 150),                                      // ADSR2 -> Pan
    Hm(kColAdsr2, kRowTubeDrive, 151),                                // ADSR2 -> Tube drive
    V(550, 625, 206, kBmpSliderGreen),                                // Mod wheel
    S(kColEffects, 460, 216),                                         // Reverb On
    H(kColEffects, 480, 217),                                         // Reverb mix
    H(kColEffects, 500, 218),                                         // Reverb length
    H(kColEffects, 520, 219),                                         // Reverb hp
    H(kColEffects, 540, 220),                                         // Reverb damp
    H(kColEffects, 560, 221),                                         // Reverb mod
    S(kColEffects, 70, 209),                                          // Chorus On
    H(kColEffects, 90, 210),                                          // Mod mix
    H(kColEffects, 110, 211),                                         // Mod Delay
    H(kColEffects, 130, 212),                                         // Mod Feedback
    H(kColEffects, 150, 213),                                         // Mod Amp
    H(kColEffects, 170, 214),                                         // Mod Speed
    S(kColEffects, 190, 215),                                         // Mod Mode
    S(kColEffects, 220, 222),                                         // Delay On
    S(kColEffects, 340, 228),                                         // Delay PingPong Type
    S(kColEffects, 360, 229),                                         // Delay Tempo Sync
    H(kColEffects, 240, 223),                                         // Delay Level
    H(kColEffects, 260, 224),                                         // Delay Time
    H(kColEffects, 280, 225),                                         // Delay Feedback
    H(kColEffects, 300, 226),                                         // Delay Color
    H(kColEffects, 320, 227),                                         // Delay Drive
    H(kColEffects, 380, 230),                                         // Delay Width
    {PanelControlKind::TextDisplay, {975, 74, 1115, 105}, -1, -1, 0},  // display
};

constexpr int kHarmonics1 = 23;  // "Harmonics 1"; the family runs to 38
constexpr int kArpPitch1 = 49;   // "Arp pitch 1"
constexpr int kArpShape1 = 65;   // "Arp shape 1"
constexpr int kArpMod1 = 81;     // "Arp mod 1"
constexpr int kStepsPerRow = 16;

constexpr std::size_t kItemCount = sizeof kHead / sizeof kHead[0] + kStepsPerRow +
                                   sizeof kMiddle / sizeof kMiddle[0] + 3 * kStepsPerRow +
                                   sizeof kTail / sizeof kTail[0];

struct Table {
  PanelItem items[kItemCount];
  std::size_t count = 0;
  int stepRowFirst[3] = {-1, -1, -1};

  template <std::size_t N>
  void Append(const PanelItem (&part)[N]) {
    for (const PanelItem& item : part) items[count++] = item;
  }
  void AppendRow(int x, int firstParam, int bitmap) {
    for (int k = 0; k < kStepsPerRow; ++k)
      items[count++] = V(x + kVerticalPitch * k, kVerticalRowY, firstParam + k, bitmap);
  }

  Table() : items{} {
    Append(kHead);
    AppendRow(kHarmonicsX, kHarmonics1, kBmpSliderHarmonic);
    Append(kMiddle);
    stepRowFirst[0] = static_cast<int>(count);
    AppendRow(kStepRowsX, kArpPitch1, kBmpSliderYellow);
    stepRowFirst[1] = static_cast<int>(count);
    AppendRow(kStepRowsX, kArpShape1, kBmpSliderPurple);
    stepRowFirst[2] = static_cast<int>(count);
    AppendRow(kStepRowsX, kArpMod1, kBmpSliderGreen);
    Append(kTail);
  }
};

const Table& TheTable() {
  static const Table table;
  return table;
}

}  // namespace

const PanelBitmap* PanelBitmaps(std::size_t* count) {
  if (count) *count = sizeof kBitmaps / sizeof kBitmaps[0];
  return kBitmaps;
}

const PanelBitmap* FindPanelBitmap(int id) {
  for (const PanelBitmap& b : kBitmaps)
    if (b.id == id) return &b;
  return nullptr;
}

const int* PanelBitmapLoadOrder(std::size_t* count) {
  if (count) *count = sizeof kLoadOrder / sizeof kLoadOrder[0];
  return kLoadOrder;
}

const PanelItem* PanelItems(std::size_t* count) {
  const Table& t = TheTable();
  if (count) *count = t.count;
  return t.items;
}

LayoutRect PanelControlRect(const PanelItem& item) {
  switch (item.kind) {
    case PanelControlKind::RadioGroup:
    case PanelControlKind::TextDisplay:
    case PanelControlKind::LinkArea:
      return item.rect;
    default:
      break;
  }
  const PanelBitmap* b = FindPanelBitmap(item.bitmap);
  if (!b) return {item.rect.left, item.rect.top, item.rect.left, item.rect.top};
  return {item.rect.left, item.rect.top, item.rect.left + b->frameWidth,
          item.rect.top + b->frameHeight};
}

LayoutRect RadioButtonRect(const PanelItem& group, int k) {
  const PanelBitmap* b = FindPanelBitmap(group.bitmap);
  const int n = group.buttons;
  if (!b || n < 1 || k < 0 || k >= n) return {0, 0, 0, 0};
  const int width = group.rect.right - group.rect.left;
  const int gap = n > 1 ? (width - n * b->frameWidth) / (n - 1) : 0;
  const int left = group.rect.left + k * (b->frameWidth + gap);
  return {left, group.rect.top, left + b->frameWidth, group.rect.top + b->frameHeight};
}

const PanelMatrix& PanelMatrixGeometry() {
  static constexpr PanelMatrix kMatrix = {
      {kColAdsr2, kColLfo1, kColLfo2, kColModw, kColVel, kColStepMod},
      kRowPan,
      kRowHarmonics + 20,  // the last row's sliders are 20 px high
  };
  return kMatrix;
}

int PanelDisplayItem() {
  const Table& t = TheTable();
  for (std::size_t i = 0; i < t.count; ++i)
    if (t.items[i].kind == PanelControlKind::TextDisplay) return static_cast<int>(i);
  return -1;
}

int PanelStepRowFirstItem(int row) {
  if (row < 0 || row > 2) return -1;
  return TheTable().stepRowFirst[row];
}

int PanelItemForParam(int param) {
  if (param < 0) return -1;
  const Table& t = TheTable();
  for (std::size_t i = 0; i < t.count; ++i)
    if (t.items[i].param == param) return static_cast<int>(i);
  return -1;
}

std::uint32_t PanelLayoutFingerprint() {
  std::uint32_t h = 2166136261u;  // FNV-1a
  auto mix = [&h](int v) {
    for (int b = 0; b < 4; ++b) {
      h ^= static_cast<std::uint32_t>(v >> (8 * b)) & 0xffu;
      h *= 16777619u;
    }
  };
  const Table& t = TheTable();
  for (std::size_t i = 0; i < t.count; ++i) {
    const PanelItem& it = t.items[i];
    for (int v : {static_cast<int>(it.kind), it.rect.left, it.rect.top, it.rect.right,
                  it.rect.bottom, it.bitmap, it.param, it.buttons})
      mix(v);
  }
  for (const PanelBitmap& b : kBitmaps)
    for (int v : {b.id, b.frames, b.frameWidth, b.frameHeight}) mix(v);
  return h;
}

}  // namespace morvanta
