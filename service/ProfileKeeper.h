#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "base/ports/Uuid.h"
#include "hal/Hal.h"
#include "profiles/AudioProfile.h"
#include "service/ServiceHost.h"

namespace tavuno {

struct ServicePorts;

// How a profile operation ended. `overLimit`: refused for the caller's input
// (a name too long, one profile too many), which the command line answers
// as a usage error; `refused`: refused or failed otherwise. Either way the
// message is in lastFailure() and on the error line.
enum class ProfileOutcome { done, refused, overLimit };

// What the profile keeper asks of the service besides the state.
class ProfileHost : public virtual ServiceHost {
 public:
  // The writes a profile makes, each reporting its own failure.
  virtual bool setDefault(AudioObjectID id, bool input) = 0;
  virtual bool setVolume(float value) = 0;
  virtual bool setMute(bool muted) = 0;
  virtual bool setInputVolume(float value) = 0;
  virtual bool setInputMute(bool muted) = 0;
  // The per-app mix becomes `mixes` and every running session takes it.
  virtual void applyAppMix(AppMixMap mixes) = 0;
  // Stores the profile list now, or soon (at most once a write interval).
  virtual void storeProfiles() = 0;
  virtual void storeProfilesSoon() = 0;
  // The rules that apply `profileID` go with it.
  virtual void forgetRulesFor(const Uuid& profileID) = 0;

 protected:
  ~ProfileHost() = default;
};

// The saved profiles: applying one, saving, renaming and deleting them, and
// keeping the active one in step with what the system does now.
class ProfileKeeper {
 public:
  // A name is kept without the white space around it and holds at most
  // maxProfileNameLength characters; at most maxProfiles are kept (every
  // change of the active one re-encodes them all).
  static constexpr std::size_t maxProfiles = 200;
  static constexpr std::size_t maxProfileNameLength = 200;

  // `ports` and `host` outlive the keeper.
  ProfileKeeper(ProfileHost& host, const ServicePorts& ports);

  // Reads the profiles and the active one into the state; gives the id
  // stored as the active one.
  std::optional<Uuid> load();
  // At start, after the first refresh: the stored active profile is applied;
  // one chosen in its place (the stored one is gone) is only made active.
  void restoreActive(const std::optional<Uuid>& storedID);
  // With no profile at all, one of what the system does now.
  void ensureDefault();

  bool apply(const AudioProfile& profile);
  ProfileOutcome save(const std::string& name);
  ProfileOutcome rename(const AudioProfile& profile, const std::string& name);
  ProfileOutcome remove(const AudioProfile& profile);
  void setActive(const Uuid& id);

  // The active profile takes the defaults, volume, mute and mix of now;
  // nothing while a profile is being applied.
  void followSystem();
  // Follows what changed outside the program since the last refresh.
  void observeSystemAudio();

 private:
  std::optional<ProfileOutcome> refuseName(const std::string& clean);
  std::string uidOfVisible(AudioObjectID id) const;
  // What the system does now, as a profile named `name` (no id yet).
  AudioProfile snapshot(std::string name) const;

  ProfileHost& host_;
  const ServicePorts& ports_;
  bool applying_ = false;
  struct ObservedSystemAudio {
    AudioObjectID input = 0;
    AudioObjectID output = 0;
    std::optional<float> volume;
    std::optional<bool> muted;
    std::optional<float> inputVolume;
    std::optional<bool> inputMuted;
    friend bool operator==(const ObservedSystemAudio&, const ObservedSystemAudio&) = default;
  };
  std::optional<ObservedSystemAudio> observed_;
};

}  // namespace tavuno
