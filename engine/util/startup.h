// The engine's settings (separators, date convention, century window, file-open mode) and its
// start-up and shut-down. Each engine layer registers what start-up must reset or install and
// what shut-down must close, so that EngineStartup() brings the whole engine to its start state
// (once in a program, before every test in a suite).
//
// Settings are read and written directly: morvane::Settings.DecimalSeparator. Change the date
// convention with SetDateConvention (it also updates the platform's date format).
#pragma once

#include <cstdint>

namespace morvane {

// Engine-wide settings, set by EngineStartup and DatasetStartup.
struct EngineSettings {
  char DecimalSeparator = '.';    // decimal separator of number texts (CleanNumberText, ...)
  char ThousandSeparator = ',';   // thousands separator (TextToInt16 and the platform's formats)
  int DateConvention = 0;         // 0..8: order and separator of date texts (engine/util/dates.h)
  bool CenturyOn = false;         // date texts carry four-digit years
  int CenturyBase = 1900;         // first year of the two-digit-year window (current year - 70)
  unsigned FileMode = 18;         // the platform's default file-open mode (read/write, exclusive)
  int SearchResult = 0;           // result code of the last FindFirstFile / FindNextFile call
};
inline EngineSettings Settings;

// One engine layer's part in start-up and shut-down. Any member may be null.
struct EngineLayer {
  const char* Name = "";          // for diagnostics; registering a name again replaces the entry
  int Order = 0;                  // start-up runs layers in ascending order, shut-down descending
  void (*Reset)() = nullptr;      // start-up step 1: the layer's state and hook tables to their
                                  // initial values (nothing is open when it runs)
  void (*Install)() = nullptr;    // after the settings: install the layer's hooks in other layers
  void (*Shutdown)() = nullptr;   // close everything the layer holds open; must not fail hard
};
// Order values of the layers: work areas and tables first, then memo, expressions, index.
inline constexpr int kLayerOrderDbf = 100;
inline constexpr int kLayerOrderMemo = 200;
inline constexpr int kLayerOrderExpr = 300;
inline constexpr int kLayerOrderIndex = 400;
inline constexpr int kLayerOrderDataset = 500;

// Adds (or replaces, by Name) a layer. Safe during static initialisation.
void RegisterEngineLayer(const EngineLayer& Layer);

// Registers a layer from a namespace-scope object. Define it in the .cpp file that defines the
// layer's state struct, so that it is linked whenever the state is:
//     static morvane::EngineLayerRegistrar registrar({"dbf", kLayerOrderDbf, &Reset, nullptr, &Close});
struct EngineLayerRegistrar {
  explicit EngineLayerRegistrar(const EngineLayer& Layer) { RegisterEngineLayer(Layer); }
};

// Brings the engine to its start state. When the engine is running it is shut down first. Then:
// the error state to its initial values; every layer's Reset; the platform formats re-read from
// the environment; date convention and separators from the user's language; HandleError as the
// error handler; century base := current year - 70; file-open mode := 18; every layer's Install.
// Also arranges that a process exit (also a halt on an engine error) runs EngineShutdown.
void EngineStartup();

// The dataset unit's start-up (after EngineStartup): separators, century setting and date
// convention from the platform's current formats; SetDateConvention rewrites the platform's short
// date format to the convention's picture.
void DatasetStartup();

// Runs every layer's Shutdown (descending order) when the engine is running; else nothing. A
// layer that raises does not stop the others; the first exception is passed on at the end.
void EngineShutdown();

// True between EngineStartup and EngineShutdown.
bool EngineRunning();

// The date convention for a user language (ISO 639 language, ISO 3166 country), as EngineStartup
// takes it: de 5, en-US 0, other en 2, es 6, fr-CA 7, other fr 4, it 3, ru 8, anything else 0.
int DateConventionForLanguage(const char* Language, const char* Country);

}  // namespace morvane
