// Engine start-up and shut-down: the layer registry, the settings from the user's language and
// from the platform's formats.
#include "engine/util/startup.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <ctime>
#include <string>
#include <vector>

#include "engine/util/dates.h"
#include "engine/util/errors.h"
#include "platform/formats/formats.h"

namespace morvane {
namespace {

std::vector<EngineLayer>& Layers() {
  static std::vector<EngineLayer> layers;
  return layers;
}

// The layers in start-up order (stable for equal Order values: registration order).
std::vector<EngineLayer> SortedLayers() {
  std::vector<EngineLayer> layers = Layers();
  std::stable_sort(layers.begin(), layers.end(),
                   [](const EngineLayer& a, const EngineLayer& b) { return a.Order < b.Order; });
  return layers;
}

bool gRunning = false;
bool gExitHandlerInstalled = false;

// A process exit closes what the engine holds open, like a normal shut-down. Errors there are
// not handled any more once the engine has halted; an exception must not escape std::exit.
void ShutdownAtExit() {
  try {
    EngineShutdown();
  } catch (...) {
  }
}

int CurrentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

}  // namespace

void RegisterEngineLayer(const EngineLayer& Layer) {
  std::vector<EngineLayer>& layers = Layers();
  for (EngineLayer& existing : layers) {
    if (std::strcmp(existing.Name, Layer.Name) == 0) {
      existing = Layer;
      return;
    }
  }
  layers.push_back(Layer);
}

int DateConventionForLanguage(const char* Language, const char* Country) {
  const std::string language = Language ? Language : "";
  const std::string country = Country ? Country : "";
  if (language == "de") return 5;
  if (language == "en") return country == "US" ? 0 : 2;
  if (language == "es") return 6;
  if (language == "fr") return country == "CA" ? 7 : 4;
  if (language == "it") return 3;
  if (language == "ru") return 8;
  return 0;
}

void EngineStartup() {
  if (gRunning) EngineShutdown();

  Errors = ErrorState{};
  const std::vector<EngineLayer> layers = SortedLayers();
  for (const EngineLayer& layer : layers) {
    if (layer.Reset != nullptr) layer.Reset();
  }

  platform::formats::ResetFromEnvironment();
  const platform::formats::UserLanguage user = platform::formats::DefaultUserLanguage();
  Settings = EngineSettings{};
  Settings.DateConvention = DateConventionForLanguage(user.language.c_str(), user.country.c_str());
  if (Settings.DateConvention >= 3 && Settings.DateConvention <= 6) {
    Settings.DecimalSeparator = ',';
    Settings.ThousandSeparator = '.';
  } else {
    Settings.DecimalSeparator = '.';
    Settings.ThousandSeparator = Settings.DateConvention == 8 ? ' ' : ',';
  }
  Settings.CenturyOn = false;
  Settings.CenturyBase = CurrentYear() - 70;
  Settings.FileMode = 18;

  gRunning = true;
  if (!gExitHandlerInstalled) {
    gExitHandlerInstalled = std::atexit(&ShutdownAtExit) == 0;
  }
  for (const EngineLayer& layer : layers) {
    if (layer.Install != nullptr) layer.Install();
  }
}

void DatasetStartup() {
  const platform::formats::Formats& formats = platform::formats::Current();
  Settings.ThousandSeparator = formats.thousandsSeparator;
  Settings.DecimalSeparator = formats.decimalSeparator;

  std::string picture = formats.shortDateFormat;
  for (char& c : picture) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Settings.CenturyOn = picture.find("YYYY") != std::string::npos;

  int convention = 0;
  const char first = formats.shortDateFormat.empty() ? '\0' : formats.shortDateFormat[0];
  if (first == 'Y' || first == 'y') {
    convention = 1;
  } else if (first == 'D' || first == 'd') {
    convention = formats.dateSeparator == '-' ? 3 : formats.dateSeparator == '.' ? 5 : 2;
  }
  SetDateConvention(convention);
}

void EngineShutdown() {
  if (!gRunning) return;
  gRunning = false;
  // Every layer gets its chance to close its files, even when an earlier one raised; the first
  // exception is passed on afterwards.
  std::exception_ptr first;
  const std::vector<EngineLayer> layers = SortedLayers();
  for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
    if (it->Shutdown == nullptr) continue;
    try {
      it->Shutdown();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

bool EngineRunning() { return gRunning; }

}  // namespace morvane
