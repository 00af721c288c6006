#include "fs/win_folder_facts.h"

#include <winternl.h>


#include "fs/win_support.h"

namespace batchext {
namespace {

constexpr auto kFileFsDeviceInformation = static_cast<FS_INFORMATION_CLASS>(4);
constexpr ULONG kRemoteDevice = 0x10;
// Newer than the headers this builds with.
constexpr DWORD kSupportsBlockRefcounting = 0x08000000;

struct DeviceInformation {
  DEVICE_TYPE type;
  ULONG characteristics;
};

bool IsRemote(HANDLE folder) {
  DeviceInformation device{};
  IO_STATUS_BLOCK status{};
  return NT_SUCCESS(::NtQueryVolumeInformationFile(folder, &status, &device,
                                                   sizeof(device),
                                                   kFileFsDeviceInformation)) &&
         (device.characteristics & kRemoteDevice) != 0;
}

VolumeTraits AskVolume(HANDLE folder) {
  VolumeTraits traits;
  DWORD serial = 0;
  DWORD flags = 0;
  if (::GetVolumeInformationByHandleW(folder, nullptr, 0, &serial, nullptr,
                                      &flags, nullptr, 0)) {
    traits.volume.serial = serial;
    traits.volume.block_cloning = (flags & kSupportsBlockRefcounting) != 0;
    traits.stable_index = (flags & FILE_SUPPORTS_OPEN_BY_FILE_ID) != 0;
    traits.named_streams = (flags & FILE_NAMED_STREAMS) != 0;
  }
  traits.volume.remote = IsRemote(folder);
  FILE_ID_INFO id{};
  traits.identity_serial =
      ::GetFileInformationByHandleEx(folder, FileIdInfo, &id, sizeof(id))
          ? static_cast<std::uint32_t>(id.VolumeSerialNumber)
          : serial;
  return traits;
}

}  // namespace

std::shared_ptr<const FolderFacts> FolderFacts::New() {
  return std::make_shared<const FolderFacts>();
}

std::shared_ptr<const FolderFacts> FolderFacts::Within(
    const FolderFacts* other) {
  auto facts = std::make_shared<FolderFacts>();
  if (other != nullptr) facts->volume_ = other->volume_;
  return facts;
}

const VolumeTraits& FolderFacts::Volume(HANDLE folder) const {
  std::call_once(volume_->asked, [&] { volume_->traits = AskVolume(folder); });
  return volume_->traits;
}

const std::wstring& FolderFacts::FinalPath(HANDLE folder) const {
  std::call_once(path_asked_, [&] { final_path_ = FinalPathOfHandle(folder); });
  return final_path_;
}

FileIdentity IdentityIn(const FolderFacts& facts, HANDLE folder, HANDLE file,
                        std::wstring_view name) {
  const VolumeTraits& volume = facts.Volume(folder);
  IdentityFacts identity;
  identity.volume_serial = volume.identity_serial;
  identity.stable_index = volume.stable_index;
  if (volume.stable_index) {
    FILE_ID_INFO id{};
    if (!::GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof(id))) {
      return {};
    }
    TakeFileId(id, identity);
  } else if (const std::wstring& path = facts.FinalPath(folder);
             !path.empty()) {
    identity.final_path = path;
    if (!name.empty()) {
      if (identity.final_path.back() != L'\\') identity.final_path += L'\\';
      identity.final_path.append(name);
    }
  }
  return IdentityFromFacts(identity);
}

}  // namespace batchext
