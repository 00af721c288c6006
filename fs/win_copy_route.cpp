#include "fs/win_copy_route.h"

#include <winternl.h>

#include <string>

namespace batchext {
namespace {

// Newer than the headers this builds with.
constexpr DWORD kSupportsBlockRefcounting = 0x08000000;
constexpr auto kFileFsDeviceInformation = static_cast<FS_INFORMATION_CLASS>(4);
constexpr ULONG kRemoteDevice = 0x10;
constexpr std::uint64_t kLargestCluster = 64 << 10;

struct DeviceInformation {
  DEVICE_TYPE type;
  ULONG characteristics;
};

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

CopyRoute CopyRouteInto(HANDLE target, std::uint32_t source_serial,
                        std::uint64_t size) {
  const std::wstring_view forced = ForcedCopyRoute();
  VolumeFacts facts;
  DeviceInformation device{};
  IO_STATUS_BLOCK status{};
  facts.remote = forced.empty() &&
                 NT_SUCCESS(::NtQueryVolumeInformationFile(
                     target, &status, &device, sizeof(device),
                     kFileFsDeviceInformation)) &&
                 (device.characteristics & kRemoteDevice) != 0;
  DWORD flags = 0;
  // Blocks are cloned by whole clusters (up to 64 KiB): a smaller file has
  // none to share, and the question would cost more than it saves.
  facts.block_cloning =
      forced.empty() && !facts.remote && size >= kLargestCluster &&
      ::GetVolumeInformationByHandleW(target, nullptr, 0, nullptr, nullptr,
                                      &flags, nullptr, 0) &&
      (flags & kSupportsBlockRefcounting) != 0;
  DWORD serial = 0;
  if (facts.block_cloning &&
      ::GetVolumeInformationByHandleW(target, nullptr, 0, &serial, nullptr,
                                      nullptr, nullptr, 0)) {
    facts.serial = serial;
  }
  return ChooseCopyRoute(source_serial, facts, forced);
}

}  // namespace batchext
