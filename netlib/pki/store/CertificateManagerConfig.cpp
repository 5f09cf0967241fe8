// The certificate manager's own settings and its operation numbers.
#include <cstdint>
#include <cstdio>

#include "core/base/Status.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {
constexpr int64_t kSecondsPerDay = 86400;
}  // namespace

int CertificateManager::Config(ConfigSetting* setting, const char*& answer) {
  const bool query = setting->IsQuery();
  auto text = [&](ByteString& field) {
    if (query) return SetConfigAnswer(answer, field.CStr());
    return field.Set(setting->Value());
  };
  auto number = [&](int32_t& field) {
    if (query) return SetConfigAnswer(answer, static_cast<int>(field));
    field = setting->AsInt();
    return kStatusOk;
  };
  if (setting->NameIs("CertValidityTime")) {
    if (query) {
      char text[24];
      std::snprintf(text, sizeof text, "%lld", static_cast<long long>(certValidityTime_));
      return SetConfigAnswer(answer, text);
    }
    // Days to seconds in 64 bits: a long validity must not wrap.
    const int64_t days = setting->AsInt64();
    const int64_t limit = INT64_MAX / kSecondsPerDay;
    certValidityTime_ = (days > limit ? limit : days < -limit ? -limit : days) * kSecondsPerDay;
    return kStatusOk;
  }
  if (setting->NameIs("CertKeyLength")) return number(certKeyLength_);
  if (setting->NameIs("CertSignatureAlgorithm")) return text(certSignatureAlgorithm_);
  if (setting->NameIs("KeyFormat")) return number(keyFormat_);
  if (setting->NameIs("ExportFormat")) return text(exportFormat_);
  if (setting->NameIs("CertificateOutputFormat")) return text(certificateOutputFormat_);
  if (query && setting->NameIs("ExportedCert")) return SetConfigAnswer(answer, exportedCert_.CStr());
  if (query && setting->NameIs("SavedCert")) return SetConfigAnswer(answer, savedCert_.CStr());
  return SocketCore::Config(setting, answer);
}

int CertificateManager::RunOperation(int operation) {
  ClearError();
  switch (operation) {
    case 1:
    case 3:
    case 4:
      return ReturnError(kStatusNotAvailable, "This feature is not available on this platform.");
    case 2:
      return kStatusNotAvailable;
    default:
      return kStatusOk;
  }
}

}  // namespace tornell::pki
