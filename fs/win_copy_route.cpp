#include "fs/win_copy_route.h"

#include <string>

namespace batchext {
namespace {

constexpr std::uint64_t kLargestCluster = 64 << 10;

// The override set in the environment, read once.
std::wstring_view ForcedCopyRoute() {
  static const std::wstring forced = [] {
    wchar_t buffer[16];
    const DWORD length = ::GetEnvironmentVariableW(L"BATCHEXT_COPY_ROUTE",
                                                   buffer, ARRAYSIZE(buffer));
    return length > 0 && length < ARRAYSIZE(buffer)
               ? std::wstring(buffer, length)
               : std::wstring();
  }();
  return forced;
}

}  // namespace

CopyRoute ChooseCopyRoute(std::uint32_t source_serial,
                          const VolumeFacts& target, std::wstring_view forced) {
  if (forced == L"system") return CopyRoute::kSystem;
  if (forced == L"loop") return CopyRoute::kOwnLoop;
  // Blocks are shared only within one volume.
  const bool clones =
      target.block_cloning && target.serial == source_serial && target.serial;
  return target.remote || clones ? CopyRoute::kSystem : CopyRoute::kOwnLoop;
}

CopyRoute CopyRouteFor(const VolumeFacts& source, const VolumeFacts& target,
                       std::uint64_t size) {
  VolumeFacts facts = target;
  // Blocks are cloned by whole clusters (up to 64 KiB): a smaller file has
  // none to share.
  facts.block_cloning = target.block_cloning && size >= kLargestCluster;
  return ChooseCopyRoute(source.serial, facts, ForcedCopyRoute());
}

}  // namespace batchext
