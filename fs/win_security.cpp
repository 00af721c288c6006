#include "fs/win_security.h"

#include <aclapi.h>

namespace batchext {
namespace {

struct Dacl {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL acl = nullptr;
  bool is_protected = false;
  ~Dacl() {
    if (descriptor != nullptr) ::LocalFree(descriptor);
  }
};

DWORD ReadDacl(HANDLE file, Dacl& dacl) {
  const DWORD error =
      ::GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, &dacl.acl, nullptr, &dacl.descriptor);
  if (error != ERROR_SUCCESS) return error;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!::GetSecurityDescriptorControl(dacl.descriptor, &control, &revision)) {
    return ::GetLastError();
  }
  dacl.is_protected = (control & SE_DACL_PROTECTED) != 0;
  return ERROR_SUCCESS;
}

// The entries of `acl` set by hand (`inherited` false) or inherited.
std::vector<ACE_HEADER*> Entries(PACL acl, bool inherited) {
  std::vector<ACE_HEADER*> entries;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(acl, i, &ace)) continue;
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (((header->AceFlags & INHERITED_ACE) != 0) == inherited) {
      entries.push_back(header);
    }
  }
  return entries;
}

// The rules `to` is to get as a self-relative descriptor; empty when it
// keeps its own.
std::vector<unsigned char> RulesToCarry(HANDLE from, HANDLE to, DWORD& error) {
  Dacl old;
  Dacl fresh;
  // Rules that cannot be read cannot be kept; the file is replaced as
  // before.
  if (ReadDacl(from, old) != ERROR_SUCCESS || old.acl == nullptr) return {};
  error = ReadDacl(to, fresh);
  if (error != ERROR_SUCCESS) return {};
  // A protected list inherits nothing and goes whole; otherwise the rules
  // set by hand come first, as Windows orders them, then the inherited.
  std::vector<ACE_HEADER*> entries = Entries(old.acl, false);
  if (entries.empty() && !old.is_protected) return {};
  if (old.is_protected) {
    for (ACE_HEADER* inherited : Entries(old.acl, true)) {
      entries.push_back(inherited);
    }
  } else {
    for (ACE_HEADER* inherited : Entries(fresh.acl, true)) {
      entries.push_back(inherited);
    }
  }
  DWORD acl_size = sizeof(ACL);
  for (const ACE_HEADER* entry : entries) acl_size += entry->AceSize;
  std::vector<unsigned char> result;
  std::vector<unsigned char> acl_bytes((acl_size + 3) & ~DWORD{3});
  auto* acl = reinterpret_cast<PACL>(acl_bytes.data());
  SECURITY_DESCRIPTOR absolute{};
  bool built =
      ::InitializeAcl(acl, static_cast<DWORD>(acl_bytes.size()),
                      old.acl->AclRevision) &&
      ::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION);
  for (ACE_HEADER* entry : entries) {
    built = built && ::AddAce(acl, old.acl->AclRevision, MAXDWORD, entry,
                              entry->AceSize);
  }
  const SECURITY_DESCRIPTOR_CONTROL bits =
      old.is_protected ? SE_DACL_PROTECTED : SE_DACL_AUTO_INHERITED;
  built = built && ::SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE) &&
          ::SetSecurityDescriptorControl(
              &absolute, SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED, bits);
  DWORD size = 0;
  if (built) {
    ::MakeSelfRelativeSD(&absolute, nullptr, &size);
    result.resize(size);
    built = ::MakeSelfRelativeSD(&absolute, result.data(), &size) != 0;
  }
  if (!built) {
    error = ::GetLastError();
    return {};
  }
  return result;
}

}  // namespace

DWORD CarryExplicitRules(HANDLE from, HANDLE to) {
  DWORD error = ERROR_SUCCESS;
  std::vector<unsigned char> rules = RulesToCarry(from, to, error);
  if (error != ERROR_SUCCESS || rules.empty()) return error;
  return ::SetKernelObjectSecurity(to, DACL_SECURITY_INFORMATION, rules.data())
             ? ERROR_SUCCESS
             : ::GetLastError();
}

}  // namespace batchext
