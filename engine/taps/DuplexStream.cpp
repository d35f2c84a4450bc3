#include "engine/taps/DuplexStream.h"

#include <cstring>

namespace tavuno {

namespace {

void silenceAll(AudioBufferList& list) {
  for (std::uint32_t k = 0; k < list.mNumberBuffers; ++k) {
    AudioBuffer& buffer = bufferAt(list, k);
    if (buffer.mData != nullptr) std::memset(buffer.mData, 0, buffer.mDataByteSize);
  }
}

}  // namespace

void duplexCapture(taudio_ring* ring, const AudioBufferList* input) {
  if (input == nullptr || input->mNumberBuffers != 1) return;
  const AudioBuffer& buffer = bufferAt(*input, 0);
  if (buffer.mNumberChannels != 2 || buffer.mData == nullptr) return;
  // Frames that do not fit are dropped and counted by the ring.
  taudio_ring_write(ring, static_cast<const float*>(buffer.mData), buffer.mDataByteSize / 8);
}

OSStatus duplexRender(void* opaque, std::uint32_t frames, AudioBufferList* ioData) {
  if (ioData == nullptr) return status::noError;
  auto& context = *static_cast<DuplexRenderContext*>(opaque);
  if (!context.started) {
    // Prefilling: no kernel call, so the callback count stays put until playback begins.
    if (taudio_ring_available(context.ring) < context.prefillFrames) {
      silenceAll(*ioData);
      return status::noError;
    }
    context.started = true;
  }
  AudioBuffer* out = ioData->mNumberBuffers == 1 ? &bufferAt(*ioData, 0) : nullptr;
  // 64-bit: 8 * frames overflows 32 bits for large frame counts.
  if (out == nullptr || out->mNumberChannels != 2 || out->mData == nullptr ||
      std::uint64_t{out->mDataByteSize} < std::uint64_t{8} * frames) {
    silenceAll(*ioData);
    tdsp_format_mismatch(context.dsp);
    return status::noError;
  }
  auto* samples = static_cast<float*>(out->mData);
  // Missing frames come back as silence and are counted by the ring as underruns; the kernel
  // sees equal counts and so never counts them again.
  taudio_ring_read(context.ring, samples, frames);
  tdsp_process(context.dsp, samples, 2 * frames, samples, 2 * frames);
  return status::noError;
}

}  // namespace tavuno
