// The texts the engine reports through the owner's status call: the record
// trace, the version and suite summaries and the key-material dump.
#include "core/base/Status.h"
#include "tls/engine/TlsEngine.h"
#include "tls/engine/TlsSettingLists.h"
#include "tls/suites/CipherSuiteNames.h"

namespace tornell {
namespace {

constexpr int kDumpLine = 16;

const char* HandshakeTitle(int type) {
  switch (type) {
    case 0: return "Handshake Protocol: Hello Request";
    case 1: return "Handshake Protocol: Client Hello";
    case 2: return "Handshake Protocol: Server Hello";
    case 4: return "Handshake Protocol: New Session Ticket";
    case 6: return "Handshake Protocol: Hello Retry Request";
    case 8: return "Handshake Protocol: Encrypted Extensions";
    case 11: return "Handshake Protocol: Certificate";
    case 12: return "Handshake Protocol: Server Key Exchange";
    case 13: return "Handshake Protocol: Certificate Request";
    case 14: return "Handshake Protocol: Server Hello Done";
    case 15: return "Handshake Protocol: Certificate Verify";
    case 16: return "Handshake Protocol: Client Key Exchange";
    case 20: return "Handshake Protocol: Finished";
    default: return nullptr;
  }
}

int AppendTitle(const char* plain, int length, ByteString& out) {
  const int type = length > 0 ? uint8_t(plain[0]) : -1;
  switch (type) {
    case 20: return out.Append("ChangeCipherSpecProtocol: ChangeCipherSpec");
    case 21: return out.Append("Alert");
    case 23: return out.Append("Application Data Protocol: Application Data");
    case 22: {
      const int handshake = length > 5 ? uint8_t(plain[5]) : -1;
      const char* title = HandshakeTitle(handshake);
      return title != nullptr ? out.Append(title) : out.AppendFormat("Handshake Protocol: Unknown (%d)", handshake);
    }
    default: return out.AppendFormat("Unknown SSL Content Type (%d)", type);
  }
}

template <int N>
int AppendOfferedSuites(const CodeList& codes, InlineString<N>& out) {
  TORNELL_TRY(out.Append("Cipher Suites:\r\n    "));
  ByteString unknown;
  for (int i = 0; i < codes.Count(); ++i) {
    if (i > 0) TORNELL_TRY(out.Append(";\r\n    "));
    const char* name = cipherSuiteKnownName(codes.Get(i));
    if (name == nullptr) {
      TORNELL_TRY(cipherSuiteDisplayName(codes.Get(i), unknown));
      name = unknown.CStr();
    }
    TORNELL_TRY(out.Append(name));
  }
  return kStatusOk;
}

}  // namespace

int TlsEngine::TraceRecord(const char* plain, int plainLength, const char* protectedRecord, int protectedLength,
                           int outgoing) {
  if (logPackets == 0 || owner == nullptr) return kStatusOk;
  ByteString text;
  TORNELL_TRY(text.AppendFormat("[TLS] %s ", outgoing != 0 ? "Outgoing" : "Incoming"));
  TORNELL_TRY(AppendTitle(plain, plainLength, text));
  TORNELL_TRY(text.AppendFormat(" (%d bytes)\r\n", protectedRecord != nullptr ? protectedLength : plainLength));
  if (protectedRecord != nullptr) {
    TORNELL_TRY(text.AppendHexDump(protectedRecord, protectedLength));
    TORNELL_TRY(text.AppendFormat("\r\n-----Decrypted (%d bytes)-----\r\n", plainLength));
  }
  TORNELL_TRY(text.AppendHexDump(plain, plainLength));
  return Status(text.CStr());
}

const char* TlsEngine::VersionText(int version) {
  traceText.Clear();
  (void)traceText.Append("Selected TLS Version: ");  // a text that fails to grow stays shorter
  switch (version) {
    case 0x0300: (void)traceText.Append("SSL3.0"); break;
    case 0x0301: (void)traceText.Append("TLS1.0"); break;
    case 0x0302: (void)traceText.Append("TLS1.1"); break;
    case 0x0303: (void)traceText.Append("TLS1.2"); break;
    case 0x0304: (void)traceText.Append("TLS1.3"); break;
    default: (void)traceText.AppendFormat("Unknown (%d)", version); break;
  }
  return traceText.CStr();
}

const char* TlsEngine::EnabledVersionsText() {
  traceLabel.Clear();
  (void)traceLabel.Append("Enabling TLS versions: ");
  if (IsTls13Enabled() != 0) (void)traceLabel.Append("TLS1.3 ");
  if (IsTls12Enabled() != 0) (void)traceLabel.Append("TLS1.2 ");
  if (IsTls11Enabled() != 0) (void)traceLabel.Append("TLS1.1 ");
  if (IsTls10Enabled() != 0) (void)traceLabel.Append("TLS1.0 ");
  if (IsSsl30Enabled() != 0) (void)traceLabel.Append("SSL3.0");
  return traceLabel.CStr();
}

const char* TlsEngine::OfferedSuitesText(const CodeList& codes) {
  traceText.Clear();
  if (AppendOfferedSuites(codes, traceText) != kStatusOk) traceText.Clear();
  return traceText.CStr();
}

int TlsEngine::ReportOfferedSuites(const CodeList& codes) {
  if (owner == nullptr) return kStatusOk;
  // Most offers fit the stack; traceText would go to the heap for each.
  InlineString<1024> text;
  if (AppendOfferedSuites(codes, text) != kStatusOk) text.Clear();
  return Status(text.CStr());
}

int TlsEngine::ReportSelectedGroup(int group) {
  if (owner == nullptr) return kStatusOk;
  ByteString name;
  TORNELL_TRY(tls::GroupName(group, name));
  InlineString<128> text;
  TORNELL_TRY(text.Set("Selected Group: "));
  TORNELL_TRY(text.Append(name));
  return Status(text.CStr());
}

const char* TlsEngine::LabelText(const char* first, const char* second) {
  traceLabel.Clear();
  if (traceLabel.Append(first != nullptr ? first : "") != kStatusOk ||
      traceLabel.Append(second != nullptr ? second : "") != kStatusOk) {
    traceLabel.Clear();
  }
  return traceLabel.CStr();
}

int TlsEngine::SecretDump(const char* label, const char* bytes, int length) {
  if (logSecrets == 0 || owner == nullptr) return kStatusOk;
  SecretBytes text;
  TORNELL_TRY(text.AppendFormat("==%s", label != nullptr ? label : ""));
  if (bytes == nullptr) return Status(text.CStr());
  TORNELL_TRY(text.AppendFormat("==(%d bytes)\r\n", length));
  for (int line = 0; line < length; line += kDumpLine) {
    const int n = length - line < kDumpLine ? length - line : kDumpLine;
    for (int i = 0; i < n; ++i) TORNELL_TRY(text.AppendFormat("%02X ", uint8_t(bytes[line + i])));
    TORNELL_TRY(text.AppendRepeated(3 * (kDumpLine - n), ' '));
    TORNELL_TRY(text.Append("    "));
    for (int i = 0; i < n; ++i) {
      const uint8_t c = uint8_t(bytes[line + i]);
      TORNELL_TRY(text.AppendByte(c >= 0x20 && c <= 0x7E ? c : '.'));
    }
    if (n == kDumpLine) TORNELL_TRY(text.Append("\r\n"));
  }
  return Status(text.CStr());
}

}  // namespace tornell
