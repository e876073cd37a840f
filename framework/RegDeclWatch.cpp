#include "framework/RegDeclWatch.h"

#include <cstdio>
#include <cstring>

#include "framework/RegDeclHive.h"
#include "framework/registry_calls/RegistryCalls.h"

namespace {

// A value's cache as the text OnChange reports.
CString CacheText(CRegDeclValue& value) {
  CString text;
  if (value.IsInt()) {
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<CRegDeclInt&>(value).m_nValue);
    text = number;
  } else if (value.IsString()) {
    text = static_cast<CRegDeclString&>(value).m_strValue;
  } else if (value.IsBinary()) {
    auto& binary = static_cast<CRegDeclBinary&>(value);
    for (int i = 0; i < binary.m_nBufferSize; ++i) {
      char pair[4];
      std::snprintf(pair, sizeof pair, i == 0 ? "%02x" : " %02x", binary.m_pBuffer[i]);
      text += pair;
    }
  }
  return text;
}

// Whether the caches hold the same, exactly (letter case counts here).
bool SameCache(CRegDeclValue& value, const CString& old_text) {
  return std::strcmp(CacheText(value), old_text) == 0;
}

}  // namespace

CRegDeclWatch::CRegDeclWatch(CRegDeclKey& key)
    : m_pKey(&key), m_hKey(nullptr), m_hEvent(ruzide::store::NewEvent()) {
  Arm();
}

CRegDeclWatch::~CRegDeclWatch() {
  if (m_hKey != nullptr) ruzide::store::CloseKey(m_hKey);
  if (m_hEvent != nullptr) ruzide::store::FreeEvent(m_hEvent);
}

int CRegDeclWatch::IsValid() { return m_hKey != nullptr && m_hEvent != nullptr; }

#ifdef _WIN32
HANDLE CRegDeclWatch::GetEvent() { return m_hEvent; }
#else
int CRegDeclWatch::GetFileDescriptor() {
  return IsValid() ? ruzide::store::EventDescriptor(m_hEvent) : -1;
}
#endif

int CRegDeclWatch::Wait(DWORD milliseconds) {
  return IsValid() && ruzide::store::WaitEvent(m_hEvent, milliseconds) ? 1 : 0;
}

int CRegDeclWatch::HasChanged() { return Wait(0); }

void CRegDeclWatch::Arm() {
  if (m_hEvent == nullptr) return;
  ruzide::store::ResetEvent(m_hEvent);
  if (m_hKey != nullptr && ruzide::store::WatchSubtree(m_hKey, m_hEvent) == ERROR_SUCCESS) return;
  // First use, or the key was deleted: open it (again) and watch the new key.
  if (m_hKey != nullptr) ruzide::store::CloseKey(m_hKey);
  ruzide::store::ResetEvent(m_hEvent);
  CString path;
  if (!m_pKey->IsHive()) m_pKey->GetFullPath(path);
  m_hKey = ruzide::store::OpenForWatch(m_pKey->GetHive().m_hRootKey, path);
  if (m_hKey != nullptr && ruzide::store::WatchSubtree(m_hKey, m_hEvent) != ERROR_SUCCESS) {
    ruzide::store::CloseKey(m_hKey);
    m_hKey = nullptr;
  }
}

int CRegDeclWatch::Apply() {
  // Renewed before reading, so that a change made while reading signals again.
  Arm();
  return Refresh(*m_pKey);
}

int CRegDeclWatch::Refresh(CRegDeclKey& key) {
  int reported = 0;
  int count = static_cast<int>(key.m_aChildren.GetSize());
  for (int i = 0; i < count; ++i) {
    CRegDeclObject* child = key.m_aChildren[i];
    if (child == nullptr) continue;
    if (child->IsKey()) {
      reported += Refresh(*static_cast<CRegDeclKey*>(child));
      continue;
    }
    if (!child->IsValue()) continue;
    auto& value = *static_cast<CRegDeclValue*>(child);
    if (value.m_bDirty) continue;
    CString old_text = CacheText(value);
    value.ReadCache();
    if (SameCache(value, old_text)) continue;
    ++reported;
    OnChange(value, old_text, CacheText(value));
  }
  return reported;
}

void CRegDeclWatch::OnChange(CRegDeclValue& /*value*/, const char* /*pszOld*/,
                             const char* /*pszNew*/) {}
