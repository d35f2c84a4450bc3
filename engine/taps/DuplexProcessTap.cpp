#include "engine/taps/DuplexProcessTap.h"

#include <algorithm>
#include <cmath>

#include "base/text/TavunoLanguage.h"
#include "engine/sessions/RetainedAfterFailedCleanup.h"
#include "engine/taps/FormatPolicies.h"
#include "engine/taps/TapSteps.h"

namespace tavuno {

namespace {

const PropertyAddress nominalRateAddress{tapSelector::nominalSampleRate, scope::global,
                                         kElementMain};
const PropertyAddress inputStreamsAddress{tapSelector::streams, scope::input, kElementMain};
const PropertyAddress virtualFormatAddress{tapSelector::virtualFormat, scope::global, kElementMain};

SessionFailure formatOrRateUnsupported() {
  return SessionFailure::unsupported(
      tr("Formato ou taxa de áudio não suportados para esta saída."));
}

SessionFailure cannotPreparePlayback() {
  return SessionFailure::unsupported(tr("Não foi possível preparar a reprodução."));
}

template <class T>
OSStatus setUnitValue(TapPlatform& platform, AudioUnitRef unit, std::uint32_t property,
                      std::uint32_t scope, std::uint32_t element, const T& value) {
  return platform.setUnitProperty(unit, property, scope, element, &value, sizeof(T));
}

// A fixed-size unit property; a read of another size fails like a bad size would.
template <class T>
OSStatus readUnitValue(TapPlatform& platform, AudioUnitRef unit, std::uint32_t property,
                       std::uint32_t scope, std::uint32_t element, T& value) {
  T read{};
  std::uint32_t size = sizeof(T);
  OSStatus status = platform.getUnitProperty(unit, property, scope, element, &read, size);
  if (status != status::noError) return status;
  if (size != sizeof(T)) return status::badPropertySize;
  value = read;
  return status::noError;
}

}  // namespace

DuplexProcessTap::DuplexProcessTap(SessionPorts ports, CleanupFilter cleanupResult,
                                   std::optional<double> experimentalCaptureRate,
                                   std::uint32_t prefillFrames)
    : ports_(std::move(ports)),
      cleanupResult_(std::move(cleanupResult)),
      experimentalCaptureRate_(experimentalCaptureRate),
      prefillFrames_(std::min(prefillFrames, ringFrames)),
      ring_(taudio_ring_create(ringFrames)),
      dsp_(tdsp_create()),
      queue_(ports_.queues.makeQueue("com.tavuno.duplex.capture", QueuePriority::userInteractive)) {
}

DuplexProcessTap::~DuplexProcessTap() {
  stop();
  if (cleanupFailed_) {
    RetainedAfterFailedCleanup::keep(ring_, "taudio_ring");
    RetainedAfterFailedCleanup::keep(dsp_, "tdsp_state");
    RetainedAfterFailedCleanup::keep(context_.release(), "DuplexRenderContext");
  } else {
    taudio_ring_destroy(ring_);
    tdsp_destroy(dsp_);
  }
}

float DuplexProcessTap::outputPeak() const {
  return tdsp_output_peak(dsp_);
}

SessionDiagnostics DuplexProcessTap::diagnostics() const {
  return {tdsp_callbacks(dsp_), tdsp_input_peak(dsp_), tdsp_output_peak(dsp_)};
}

void DuplexProcessTap::setGain(float gain, bool muted) {
  tdsp_set_gain(dsp_, gain, muted);
}

DuplexProcessTap::RingCounts DuplexProcessTap::ringCounts() const {
  return {taudio_ring_underruns(ring_), taudio_ring_overruns(ring_)};
}

bool DuplexProcessTap::shouldStopForBufferHealth(double now) {
  if (!health_) return false;
  const auto [underruns, overruns] = ringCounts();
  const bool formatMismatches = tdsp_underruns(dsp_) > 1024;
  // Ring trouble while the two sides settle in the first second is forgiven: the baseline is the
  // last reading taken in it (or the first one after it).
  if (now - health_->startedAt < 1.0 || !health_->baseline) {
    health_->baseline = {underruns, overruns};
    return formatMismatches;
  }
  const auto [baseUnderruns, baseOverruns] = *health_->baseline;
  const std::uint64_t lost = underruns > baseUnderruns ? underruns - baseUnderruns : 0;
  const std::uint64_t dropped = overruns > baseOverruns ? overruns - baseOverruns : 0;
  return lost > 1024 || dropped > 1024 || formatMismatches;
}

std::optional<SessionFailure> DuplexProcessTap::inputEnabled(bool& enabled) const {
  if (!unit_) return SessionFailure::unsupported(tr("Processo ou saída indisponível."));
  std::uint32_t value = 0;
  if (OSStatus s = readUnitValue(ports_.platform, *unit_, unitProperty::enableIO, unitScope::input,
                                 1, value))
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  enabled = value != 0;
  return std::nullopt;
}

std::optional<SessionFailure> DuplexProcessTap::start(const std::vector<AudioObjectID>& processes,
                                                      const AudioDevice& output) {
  if (attempted_ || processes.empty() || !output.output)
    return SessionFailure::unsupported(tr("Processo ou saída indisponível."));
  attempted_ = true;
  if (ring_ == nullptr || dsp_ == nullptr) return cannotPreparePlayback();
  auto failure = build(processes, output);
  if (failure) stop();
  return failure;
}

std::optional<SessionFailure> DuplexProcessTap::build(const std::vector<AudioObjectID>& processes,
                                                      const AudioDevice& output) {
  TapPlatform& platform = ports_.platform;
  std::string tapUID;
  if (auto failure = tapSteps::makeTap(platform, processes, tap_, tapUID)) return failure;

  AudioStreamBasicDescription tapFormat;
  const PropertyAddress tapFormatAddress{tapSelector::tapFormat, scope::global, kElementMain};
  if (OSStatus s = tapSteps::readValue(platform, tap_, tapFormatAddress, tapFormat))
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  double deviceRate = 0;
  if (OSStatus s = tapSteps::readValue(platform, output.id, nominalRateAddress, deviceRate))
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  if (!std::isfinite(deviceRate) || deviceRate <= 0 ||
      !DuplexFormatPolicy::supports(tapFormat, tapFormat.mSampleRate))
    return formatOrRateUnsupported();

  // The tap alone: no master, no sub-devices, no drift correction.
  const DeviceDescription description{{"name", std::string("Tavuno Audio")},
                                      {"uid", tapSteps::aggregateUID(true)},
                                      {"private", true},
                                      {"tapautostart", true},
                                      {"taps", std::vector<PlainDictionary>{{{"uid", tapUID}}}}};
  AudioObjectID aggregate = kAudioObjectUnknown;
  if (OSStatus s = platform.createAggregateDevice(description, aggregate))
    return tapFailure(textKey("Criar dispositivo de áudio"), s);
  aggregate_ = aggregate;

  if (experimentalCaptureRate_) {
    const double rate = *experimentalCaptureRate_;
    if (!std::isfinite(rate) || rate <= 0) return formatOrRateUnsupported();
    if (OSStatus s = platform.setPropertyData(aggregate_, nominalRateAddress, sizeof rate, &rate))
      return tapFailure(textKey("Preparar reprodução"), s);
  }

  AudioStreamBasicDescription captureFormat;
  if (auto failure = readCaptureFormat(captureFormat)) return failure;
  const auto clientRate = DuplexFormatPolicy::clientRate(tapFormat, captureFormat, deviceRate);
  if (!clientRate) return formatOrRateUnsupported();

  if (auto failure = prepareUnit(output, *clientRate)) return failure;

  taudio_ring* ring = ring_;
  IOProcID proc = IOProcID::none;
  OSStatus s = platform.createIOProcID(
      aggregate_, queue_,
      [ring](const AudioBufferList* in, AudioBufferList*) { duplexCapture(ring, in); }, proc);
  if (s != status::noError) return tapFailure(textKey("Preparar reprodução"), s);
  if (proc == IOProcID::none) return cannotPreparePlayback();
  proc_ = proc;

  // Playback first, so that it is already delivering silence when the first frames arrive.
  if (OSStatus started = platform.startOutputUnit(*unit_))
    return tapFailure(textKey("Iniciar reprodução"), started);
  outputStarted_ = true;
  if (OSStatus started = platform.deviceStart(aggregate_, proc))
    return tapFailure(textKey("Iniciar reprodução"), started);
  captureStarted_ = true;

  health_ = DuplexStreamHealth{.startedAt = ports_.uptime ? ports_.uptime() : 0.0};
  clientSampleRate_ = *clientRate;
  running_ = true;
  return std::nullopt;
}

std::optional<SessionFailure> DuplexProcessTap::readCaptureFormat(
    AudioStreamBasicDescription& format) {
  TapPlatform& platform = ports_.platform;
  std::uint32_t size = 0;
  if (OSStatus s = platform.getPropertyDataSize(aggregate_, inputStreamsAddress, size))
    return tapFailure(textKey("Consultar fluxos de entrada"), s);
  if (size != 4)
    return SessionFailure::unsupported(tr("Quantidade de fluxos de entrada não suportada."));
  AudioObjectID stream = kAudioObjectUnknown;
  if (OSStatus s = tapSteps::readValue(platform, aggregate_, inputStreamsAddress, stream))
    return tapFailure(textKey("Ler fluxos de entrada"), s);
  if (OSStatus s = tapSteps::readValue(platform, stream, virtualFormatAddress, format))
    return tapFailure(textKey("Ler propriedade de áudio"), s);
  return std::nullopt;
}

std::optional<SessionFailure> DuplexProcessTap::prepareUnit(const AudioDevice& output,
                                                            double clientRate) {
  TapPlatform& platform = ports_.platform;
  const ComponentDescription halOutput{.componentType = unitComponent::typeOutput,
                                       .componentSubType = unitComponent::subTypeHalOutput,
                                       .componentManufacturer = unitComponent::manufacturerSystem};
  AudioComponentRef component = AudioComponentRef::none;
  if (platform.findNextComponent(AudioComponentRef::none, halOutput, component) !=
          status::noError ||
      component == AudioComponentRef::none)
    return cannotPreparePlayback();

  AudioUnitRef unit = AudioUnitRef::none;
  if (OSStatus s = platform.newComponentInstance(component, unit))
    return tapFailure(textKey("Preparar reprodução"), s);
  if (unit == AudioUnitRef::none) return cannotPreparePlayback();
  unit_ = unit;  // from here on stop() disposes of it

  const std::uint32_t off = 0, on = 1;
  const AudioObjectID device = output.id;
  const AudioStreamBasicDescription clientFormat = floatFormat(clientRate, 2);
  OSStatus s = setUnitValue(platform, unit, unitProperty::enableIO, unitScope::input, 1, off);
  if (s == status::noError)
    s = setUnitValue(platform, unit, unitProperty::enableIO, unitScope::output, 0, on);
  if (s == status::noError)
    s = setUnitValue(platform, unit, unitProperty::currentDevice, unitScope::global, 0, device);
  if (s == status::noError)
    s = setUnitValue(platform, unit, unitProperty::streamFormat, unitScope::input, 0, clientFormat);
  if (s != status::noError) return tapFailure(textKey("Preparar reprodução"), s);

  AudioStreamBasicDescription accepted;
  if (OSStatus r =
          readUnitValue(platform, unit, unitProperty::streamFormat, unitScope::input, 0, accepted))
    return tapFailure(textKey("Ler propriedade de áudio"), r);
  if (!DuplexFormatPolicy::supports(accepted, clientRate)) return formatOrRateUnsupported();

  context_ = std::make_unique<DuplexRenderContext>(DuplexRenderContext{
      .ring = ring_, .dsp = dsp_, .prefillFrames = prefillFrames_, .started = prefillFrames_ == 0});
  const RenderCallback callback{.proc = &duplexRender, .context = context_.get()};
  if (OSStatus r = platform.setRenderCallback(unit, unitScope::input, 0, callback))
    return tapFailure(textKey("Preparar reprodução"), r);
  if (OSStatus r = platform.initializeUnit(unit))
    return tapFailure(textKey("Preparar reprodução"), r);
  outputInitialized_ = true;

  bool inputOn = false;
  if (auto failure = inputEnabled(inputOn)) return failure;
  if (inputOn)
    return SessionFailure::unsupported(tr("Não foi possível desativar a entrada desta saída."));
  return std::nullopt;
}

void DuplexProcessTap::stop() {
  TapPlatform& platform = ports_.platform;
  if (proc_) {
    if (captureStarted_) judgeCleanup(platform.deviceStop(aggregate_, *proc_));
    judgeCleanup(platform.destroyIOProcID(aggregate_, *proc_));
    proc_.reset();
  }
  captureStarted_ = false;
  if (unit_) {
    if (outputStarted_) judgeCleanup(platform.stopOutputUnit(*unit_));
    if (outputInitialized_) judgeCleanup(platform.uninitializeUnit(*unit_));
    judgeCleanup(platform.disposeComponentInstance(*unit_));
    unit_.reset();
  }
  outputInitialized_ = false;
  outputStarted_ = false;
  if (aggregate_ != kAudioObjectUnknown) {
    judgeCleanup(platform.destroyAggregateDevice(aggregate_));
    aggregate_ = kAudioObjectUnknown;
  }
  if (tap_ != kAudioObjectUnknown) {
    judgeCleanup(platform.destroyProcessTap(tap_));
    tap_ = kAudioObjectUnknown;
  }
  // A render callback the platform failed to remove may still read the context.
  if (!cleanupFailed_) context_.reset();
  health_.reset();
  running_ = false;
}

void DuplexProcessTap::judgeCleanup(OSStatus status) {
  const OSStatus judged = cleanupResult_ ? cleanupResult_(status) : status;
  if (judged != status::noError) cleanupFailed_ = true;
}

}  // namespace tavuno
