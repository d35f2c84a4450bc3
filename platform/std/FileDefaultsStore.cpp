#include "platform/std/FileDefaultsStore.h"

#include <cstdlib>
#include <map>
#include <mutex>

#include "base/text/TavunoLanguage.h"
#include "platform/std/SettingsCodec.h"
#include "platform/std/SettingsFile.h"
#include "platform/std/ThreadMainQueue.h"

namespace tavuno {

namespace fs = std::filesystem;

// What the store and its pending writer ticks share; a tick holds it weakly,
// so one that runs after the store is gone does nothing.
struct FileDefaultsStore::State {
  explicit State(fs::path path) : file(std::move(path)) {}

  // Replaces the file with the values unless it already holds them. True
  // when the file then holds every value.
  bool writePending();

  const SettingsFile file;
  // One replacement at a time, in the order of their snapshots. Taken before
  // `mutex`, and held across the disk work, which `mutex` never is.
  std::mutex writing;

  mutable std::mutex mutex;  // guards everything below
  // The values, and what this version could not read of the file, written
  // back with them unchanged.
  SettingsDocument document;
  bool dirty = false;     // values changed since the last snapshot written
  bool inFlight = false;  // a snapshot is being written
  bool armed = false;     // a writer tick is scheduled
  std::uint64_t generation = 0;
  std::uint64_t generationAtTick = 0;  // generation when the last tick was scheduled
  double burstStart = 0;               // writer uptime of the burst's first change
  bool writable = true;
  // The file is of a newer version: never written over (writable is false).
  bool newerVersion = false;
  // Entries of the file this version could not read at load, kept in it.
  std::size_t keptUnreadable = 0;
  fs::path movedAside;
  std::string lastWriteError;
  std::uint64_t replacements = 0;
};

bool FileDefaultsStore::State::writePending() {
  std::lock_guard writeLock(writing);
  SettingsDocument snapshot;
  {
    std::lock_guard lock(mutex);
    if (!dirty) return true;
    if (!writable) return false;
    // Copied rather than encoded here: the main thread may be waiting for
    // this lock, and encoding takes far longer than copying.
    snapshot = document;
    dirty = false;
    inFlight = true;
  }
  const std::string error = file.replace(encodeSettings(snapshot));
  std::lock_guard lock(mutex);
  inFlight = false;
  lastWriteError = error;
  if (!error.empty()) {
    // Still not on disk: the next change or flush tries again.
    dirty = true;
    return false;
  }
  ++replacements;
  return true;
}

FileDefaultsStore::FileDefaultsStore(fs::path file)
    : FileDefaultsStore(std::move(file), std::make_unique<ThreadMainQueue>(), nullptr) {}

FileDefaultsStore::FileDefaultsStore(fs::path file, MainQueue& writer)
    : FileDefaultsStore(std::move(file), nullptr, &writer) {}

FileDefaultsStore::FileDefaultsStore(fs::path file, std::unique_ptr<ThreadMainQueue> ownWriter,
                                     MainQueue* writer)
    : file_(std::move(file)),
      ownWriter_(std::move(ownWriter)),
      writer_(writer ? *writer : *ownWriter_),
      state_(std::make_shared<State>(file_)) {
  using Kind = SettingsFile::Contents::Kind;
  SettingsFile::Contents contents = state_->file.read();
  if (contents.kind == Kind::settings) {
    state_->document = std::move(contents.document);
    state_->keptUnreadable = state_->document.unreadable.size();
    if (state_->document.newerVersion) {
      // Written by a newer Tavuno: what this version can read is used, and
      // nothing is written over what it cannot (the next version's data).
      state_->newerVersion = true;
      state_->writable = false;
    }
  } else if (contents.kind != Kind::absent) {
    std::string error;
    if (auto aside = state_->file.moveAside(error)) {
      state_->movedAside = std::move(*aside);
    } else {
      // Writing now would replace the only copy of the user's settings.
      state_->writable = false;
      state_->lastWriteError = contents.error.empty() ? error : contents.error + "; " + error;
    }
  }
  if (state_->writable) state_->file.removeStaleTemporaries();
  if (ownWriter_) ownThread_ = std::thread([queue = ownWriter_.get()] { queue->run(); });
  std::unique_lock lock(state_->mutex);
  // An earlier version's file, its lists in base64: rewritten once, as after
  // a change, with the lists in place and every value as it was read.
  if (state_->writable && state_->document.olderForm > 0) changed(lock);
}

FileDefaultsStore::~FileDefaultsStore() {
  if (ownThread_.joinable()) {
    // Posted rather than called: stop() before run() has started would be lost.
    ownWriter_->post([queue = ownWriter_.get()] { queue->stop(); });
    ownThread_.join();
  }
  state_->writePending();
}

fs::path FileDefaultsStore::defaultLocation() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base;
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home && *home ? home : ".") / ".config";
  }
  return base / "tavuno" / "settings.json";
}

std::optional<DefaultsValue> FileDefaultsStore::value(const std::string& key) const {
  std::lock_guard lock(state_->mutex);
  auto it = state_->document.values.find(key);
  if (it == state_->document.values.end()) return std::nullopt;
  return it->second;
}

void FileDefaultsStore::set(const std::string& key, DefaultsValue value) {
  std::unique_lock lock(state_->mutex);
  SettingsDocument& document = state_->document;
  if (auto unreadable = document.unreadable.find(key); unreadable != document.unreadable.end()) {
    // The stored entry this version could not read stays in the file, under
    // the first free backup key.
    const std::string backup = key + ".corruptBackup";
    std::string free = backup;
    for (unsigned n = 1; document.values.contains(free) || document.unreadable.contains(free); ++n)
      free = backup + "." + std::to_string(n);
    std::string text = std::move(unreadable->second);
    document.unreadable.erase(unreadable);
    document.unreadable.emplace(std::move(free), std::move(text));
  }
  document.values[key] = std::move(value);
  changed(lock);
}

void FileDefaultsStore::remove(const std::string& key) {
  std::unique_lock lock(state_->mutex);
  if (state_->document.values.erase(key) == 0) return;
  changed(lock);
}

void FileDefaultsStore::changed(std::unique_lock<std::mutex>& lock) {
  State& state = *state_;
  state.dirty = true;
  ++state.generation;
  // Within a burst only the first change schedules anything: the others cost
  // a counter increment.
  if (state.armed || !state.writable) return;
  state.armed = true;
  state.generationAtTick = state.generation;
  state.burstStart = writer_.uptime();
  lock.unlock();
  writer_.postAfter(quietSeconds,
                    [weak = std::weak_ptr(state_), writer = &writer_] { tick(weak, writer); });
}

void FileDefaultsStore::tick(const std::weak_ptr<State>& weak, MainQueue* writer) {
  auto state = weak.lock();
  if (!state) return;
  {
    std::unique_lock lock(state->mutex);
    if (!state->dirty || !state->writable) {
      state->armed = false;
      return;
    }
    const bool stillChanging = state->generation != state->generationAtTick;
    if (stillChanging && writer->uptime() - state->burstStart < longestSeconds) {
      state->generationAtTick = state->generation;
      lock.unlock();
      writer->postAfter(quietSeconds, [weak, writer] { tick(weak, writer); });
      return;
    }
    state->armed = false;
  }
  state->writePending();
}

bool FileDefaultsStore::flush() {
  return state_->writePending();
}

bool FileDefaultsStore::pending() const {
  std::lock_guard lock(state_->mutex);
  return state_->dirty || state_->inFlight;
}

fs::path FileDefaultsStore::movedAside() const {
  std::lock_guard lock(state_->mutex);
  return state_->movedAside;
}

bool FileDefaultsStore::writable() const {
  std::lock_guard lock(state_->mutex);
  return state_->writable;
}

bool FileDefaultsStore::newerVersion() const {
  std::lock_guard lock(state_->mutex);
  return state_->newerVersion;
}

std::size_t FileDefaultsStore::keptUnreadable() const {
  std::lock_guard lock(state_->mutex);
  return state_->keptUnreadable;
}

std::string FileDefaultsStore::lastWriteError() const {
  std::lock_guard lock(state_->mutex);
  return state_->lastWriteError;
}

std::uint64_t FileDefaultsStore::replacements() const {
  std::lock_guard lock(state_->mutex);
  return state_->replacements;
}

std::string FileDefaultsStore::message() const {
  bool writable;
  bool newerVersion;
  bool writeFailed;
  std::size_t keptUnreadable;
  fs::path aside;
  {
    std::lock_guard lock(state_->mutex);
    writable = state_->writable;
    newerVersion = state_->newerVersion;
    writeFailed = !state_->lastWriteError.empty();
    keptUnreadable = state_->keptUnreadable;
    aside = state_->movedAside;
  }
  // Translated outside the lock: the language may be read from this very store.
  if (newerVersion)
    return trf(
        "O arquivo de configurações %@ foi salvo por uma versão mais nova do Tavuno. Ele foi mantido como estava, e as alterações feitas agora não serão salvas.",
        file_.string());
  if (!writable)
    return trf(
        "Não foi possível ler o arquivo de configurações %@ nem guardá-lo à parte. Ele foi mantido como estava, e as alterações feitas agora não serão salvas.",
        file_.string());
  if (writeFailed) return trf("Não foi possível salvar as configurações em %@.", file_.string());
  if (!aside.empty())
    return trf(
        "O arquivo de configurações não pôde ser lido e foi guardado como %@. As configurações voltaram ao padrão.",
        aside.string());
  if (keptUnreadable > 0)
    return trf(
        "Parte do arquivo de configurações %@ não pôde ser lida. Ela foi mantida no arquivo como estava, e o restante foi carregado.",
        file_.string());
  return {};
}

}  // namespace tavuno
