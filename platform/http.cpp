// The request runs on the caller's thread over a non-blocking socket of its
// own, TLS through the system's security package: every wait is bounded by
// the one deadline of the request, and closing the socket ends everything
// at once (nothing is drained, nothing keeps running). WinInet's and
// WinHTTP's own requests could not promise that: in their asynchronous
// modes too, closing a request's handle at the deadline left a trickling
// server read to its end, a silent one waited on, a large body drained.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // the newer form of the credentials' request
#include "platform/http.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>
#include <subauth.h>
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/code_pages.hpp"
#include "platform/lock.hpp"
#include "platform/modules.hpp"
#include "platform/thread_slot.hpp"
#include "text/text.hpp"

namespace zoq::platform {
namespace {

constexpr std::string_view kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr int kMostRedirects = 10;
constexpr std::size_t kMostHeadBytes = 64 * 1024;

// The deadline of the whole request (the budget's end at the latest), and
// the limit of each wait within it.
class Clock {
 public:
  explicit Clock(const HttpTimeouts& limits) : limits(limits), end_(GetTickCount64() + limits.totalMs) {
    if (const ULONGLONG budget = HttpBudget::EndOnThisThread(); budget != 0) end_ = std::min(end_, budget);
  }
  bool Spent() const { return GetTickCount64() >= end_; }
  // How long the next wait may take: `idleMs` at most, never past the end.
  DWORD Wait(std::uint32_t idleMs) const {
    const ULONGLONG now = GetTickCount64();
    return now >= end_ ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(idleMs, end_ - now));
  }
  const HttpTimeouts& limits;

 private:
  ULONGLONG end_;
};

// Winsock for the length of one request.
struct Winsock {
  Winsock() { ok = WSAStartup(MAKEWORD(2, 2), &data) == 0; }
  ~Winsock() {
    if (ok) WSACleanup();
  }
  WSADATA data{};
  bool ok = false;
};

// Waits until the socket can be written (or read); false when the time is up.
bool Ready(SOCKET s, bool write, DWORD ms) {
  if (ms == 0) return false;
  fd_set set, failed;
  FD_ZERO(&set);
  FD_SET(s, &set);
  FD_ZERO(&failed);
  FD_SET(s, &failed);
  timeval tv{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000) * 1000};
  return select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &tv) > 0 && FD_ISSET(s, &set);
}

// The addresses of a host name, looked up within the request's deadline.
// Where the system can (Windows 8 and later), the name is looked up in the
// background with an event to wait on. A request that gives up on it
// cancels it and hands it to a thread-pool wait, which frees it (its event,
// its Winsock and module references) as soon as it has ended; a request for
// a name whose lookup still runs waits for that one instead of starting
// another, so a name server that never answers holds one lookup per name,
// not one per request. Older systems look the name up at once.
class NameLookup {
 public:
  struct Found {
    sockaddr_storage address{};
    int length = 0;
    int family = 0;
  };

  static std::vector<Found> Addresses(const std::string& host, INTERNET_PORT port, DWORD waitMs) {
    const std::wstring name = GbkToWide(host), service = std::to_wstring(port);
    if (!System().overlappedResult) {
      PADDRINFOEXW found = nullptr;
      const bool ok = GetAddrInfoExW(name.c_str(), service.c_str(), NS_DNS, nullptr, &Hints(), &found, nullptr,
                                     nullptr, nullptr, nullptr) == 0;
      std::vector<Found> out = ok ? Copied(found) : std::vector<Found>{};
      if (found) FreeAddrInfoExW(found);
      return out;
    }
    Running* r = Join(name + L":" + service, name, service);
    if (!r) return {};
    const bool ended = WaitForSingleObject(r->overlapped.hEvent, waitMs) == WAIT_OBJECT_0;
    std::vector<Found> out;
    if (ended && (r->started == 0 || System().overlappedResult(&r->overlapped) == 0)) out = Copied(r->result);
    Leave(r);
    return out;
  }

 private:
  // One lookup in the background, shared by the requests that wait for it.
  struct Running {
    OVERLAPPED overlapped{};
    PADDRINFOEXW result = nullptr;
    HANDLE cancel = nullptr;
    int started = WSA_IO_PENDING;  // 0: ended at once
    std::wstring key;
    int waiters = 0;
    bool handedOver = false;  // to the thread-pool wait, which frees it
    void* module = nullptr;   // the wait's reference on this module
  };

  // What only newer systems have.
  struct Functions {
    INT(WSAAPI* overlappedResult)(LPOVERLAPPED);
    INT(WSAAPI* cancel)(LPHANDLE);
  };
  static const Functions& System() {
    static const Functions f = [] {
      const HMODULE ws2 = GetModuleHandleW(L"ws2_32.dll");
      return Functions{reinterpret_cast<INT(WSAAPI*)(LPOVERLAPPED)>(
                           reinterpret_cast<void*>(GetProcAddress(ws2, "GetAddrInfoExOverlappedResult"))),
                       reinterpret_cast<INT(WSAAPI*)(LPHANDLE)>(
                           reinterpret_cast<void*>(GetProcAddress(ws2, "GetAddrInfoExCancel")))};
    }();
    return f;
  }
  static const ADDRINFOEXW& Hints() {
    static const ADDRINFOEXW hints = [] {
      ADDRINFOEXW h{};
      h.ai_family = AF_UNSPEC;
      h.ai_socktype = SOCK_STREAM;
      h.ai_protocol = IPPROTO_TCP;
      return h;
    }();
    return hints;
  }

  static std::vector<Found> Copied(PADDRINFOEXW found) {
    std::vector<Found> out;
    for (PADDRINFOEXW a = found; a; a = reinterpret_cast<PADDRINFOEXW>(a->ai_next)) {
      if (!a->ai_addr || a->ai_addrlen > sizeof(sockaddr_storage)) continue;
      Found f;
      std::memcpy(&f.address, a->ai_addr, a->ai_addrlen);
      f.length = static_cast<int>(a->ai_addrlen);
      f.family = a->ai_family;
      out.push_back(f);
    }
    return out;
  }

  // The running lookups, and the lock over them and their counts. The
  // requests and the thread-pool wait that frees a lookup meet on it: a
  // slim lock, which needs no system object (a std::mutex keeps an event
  // from the first time a thread waits on it, a handle more for as long as
  // the process runs).
  static std::vector<Running*>& All() {
    static std::vector<Running*> all;
    return all;
  }
  static Mutex& Lock() {
    static Mutex lock;
    return lock;
  }

  // The running lookup of `key` with one more waiter, or a new one.
  static Running* Join(const std::wstring& key, const std::wstring& name, const std::wstring& service) {
    std::lock_guard guard(Lock());
    for (Running* r : All()) {
      if (r->key == key) {
        ++r->waiters;
        return r;
      }
    }
    auto* r = new Running;
    r->key = key;
    r->waiters = 1;
    r->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (r->overlapped.hEvent) {
      r->started = GetAddrInfoExW(name.c_str(), service.c_str(), NS_DNS, nullptr, &Hints(), &r->result, nullptr,
                                  &r->overlapped, nullptr, &r->cancel);
    }
    if (!r->overlapped.hEvent || (r->started != 0 && r->started != WSA_IO_PENDING)) {
      Free(r);
      return nullptr;
    }
    if (r->started == 0) SetEvent(r->overlapped.hEvent);
    All().push_back(r);
    return r;
  }

  // One waiter less: the last frees an ended lookup, or hands a running one
  // over, cancelled, to a thread-pool wait.
  static void Leave(Running* r) {
    std::lock_guard guard(Lock());
    if (--r->waiters > 0 || r->handedOver) return;
    if (WaitForSingleObject(r->overlapped.hEvent, 0) == WAIT_OBJECT_0 || !HandOver(r)) {
      std::erase(All(), r);
      Free(r);
    }
  }

  // The wait holds a Winsock reference (the lookup's own needs Winsock up
  // until it ends) and a reference on this module, given back when its
  // callback returns.
  static bool HandOver(Running* r) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    void* const module = ReferenceOwnModule();
    PTP_WAIT wait = module ? CreateThreadpoolWait(&Ended, r, nullptr) : nullptr;
    if (!wait) {
      if (module) FreeLibrary(static_cast<HMODULE>(module));
      WSACleanup();
      return false;
    }
    if (System().cancel) System().cancel(&r->cancel);
    r->handedOver = true;
    r->module = module;
    SetThreadpoolWait(wait, r->overlapped.hEvent, nullptr);
    return true;
  }

  static void CALLBACK Ended(PTP_CALLBACK_INSTANCE instance, void* context, PTP_WAIT wait, TP_WAIT_RESULT) {
    auto* r = static_cast<Running*>(context);
    void* module = r->module;
    {
      std::lock_guard guard(Lock());
      r->handedOver = false;
      if (r->waiters == 0) {  // else the last request that joined it frees it
        std::erase(All(), r);
        Free(r);
      }
    }
    CloseThreadpoolWait(wait);
    WSACleanup();
    FreeLibraryWhenCallbackReturns(instance, static_cast<HMODULE>(module));
  }

  static void Free(Running* r) {
    if (r->result) FreeAddrInfoExW(r->result);
    if (r->overlapped.hEvent) CloseHandle(r->overlapped.hEvent);
    delete r;
  }
};

// A TCP connection whose every wait is bounded; closed without lingering.
class Socket {
 public:
  explicit Socket(const Clock& clock) : clock_(clock) {}
  ~Socket() { Close(); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool Connect(const std::string& host, INTERNET_PORT port) {
    for (const NameLookup::Found& a : NameLookup::Addresses(host, port, clock_.Wait(clock_.limits.connectMs))) {
      if (s_ != INVALID_SOCKET) break;
      s_ = socket(a.family, SOCK_STREAM, IPPROTO_TCP);
      if (s_ == INVALID_SOCKET) continue;
      u_long nonBlocking = 1;
      int error = 0, length = sizeof error;
      const bool connected =
          ioctlsocket(s_, FIONBIO, &nonBlocking) == 0 &&
          (connect(s_, reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0 ||
           (WSAGetLastError() == WSAEWOULDBLOCK && Ready(s_, true, clock_.Wait(clock_.limits.connectMs)))) &&
          getsockopt(s_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
      if (!connected) Close();
    }
    return s_ != INVALID_SOCKET;
  }

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const int n = send(s_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 16)), 0);
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
      } else if (WSAGetLastError() != WSAEWOULDBLOCK || !Ready(s_, true, clock_.Wait(clock_.limits.sendMs))) {
        return false;
      }
    }
    return true;
  }

  // Appends what arrives next; `ended` when the server closed the connection.
  bool Receive(std::string& into, bool& ended) {
    char chunk[16384];
    for (;;) {
      const int n = recv(s_, chunk, sizeof chunk, 0);
      if (n > 0) {
        into.append(chunk, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0) {
        ended = true;
        return true;
      }
      if (WSAGetLastError() != WSAEWOULDBLOCK || !Ready(s_, false, clock_.Wait(clock_.limits.receiveMs))) return false;
    }
  }

 private:
  void Close() {
    if (s_ != INVALID_SOCKET) closesocket(s_);
    s_ = INVALID_SOCKET;
  }
  const Clock& clock_;
  SOCKET s_ = INVALID_SOCKET;
};

// TLS over a socket through the system's security package. The server's
// certificate must chain to a trusted root and name the host.
class Tls {
 public:
  explicit Tls(Socket& socket) : socket_(socket) {}
  ~Tls() {
    if (context_) DeleteSecurityContext(&*context_);
    if (credentials_) FreeCredentialsHandle(&*credentials_);
  }
  Tls(const Tls&) = delete;
  Tls& operator=(const Tls&) = delete;

  bool Handshake(const std::string& host) {
    // The system's own protocols (TLS 1.3 where it has it); a system that
    // knows only the older form of the request: TLS 1.0 to 1.2.
    constexpr DWORD kFlags = SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_MANUAL_CRED_VALIDATION;
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = kFlags;
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.grbitEnabledProtocols = SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_2_CLIENT;
    older.dwFlags = kFlags;
    for (void* wanted : {static_cast<void*>(&current), static_cast<void*>(&older)}) {
      CredHandle credentials;
      if (AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, wanted,
                                    nullptr, nullptr, &credentials, nullptr) == SEC_E_OK) {
        credentials_ = credentials;
        break;
      }
    }
    host_ = host;
    return credentials_ && Negotiate(Step(nullptr)) && Trusted();
  }

  bool Send(std::string_view plain) {
    SecPkgContext_StreamSizes sizes{};
    if (QueryContextAttributesA(&*context_, SECPKG_ATTR_STREAM_SIZES, &sizes) != SEC_E_OK) return false;
    while (!plain.empty()) {
      const std::size_t piece = std::min<std::size_t>(plain.size(), sizes.cbMaximumMessage);
      std::string record(sizes.cbHeader + piece + sizes.cbTrailer, '\0');
      plain.copy(record.data() + sizes.cbHeader, piece);
      SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                              {static_cast<ULONG>(piece), SECBUFFER_DATA, record.data() + sizes.cbHeader},
                              {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + piece},
                              {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
      if (EncryptMessage(&*context_, 0, &message, 0) != SEC_E_OK) return false;
      record.resize(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
      if (!socket_.Send(record)) return false;
      plain.remove_prefix(piece);
    }
    return true;
  }

  // Appends what arrives next, decrypted; `ended` at the end of the stream.
  bool Receive(std::string& into, bool& ended) {
    for (;;) {
      if (!raw_.empty()) {
        SecBuffer buffers[4] = {{static_cast<ULONG>(raw_.size()), SECBUFFER_DATA, raw_.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(&*context_, &message, 0, nullptr);
        if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) {
          std::size_t got = 0;
          for (const SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA) {
              into.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
              got += b.cbBuffer;
            }
          }
          raw_ = Extra(buffers);
          if (status == SEC_I_CONTEXT_EXPIRED) ended = true;
          if (got > 0 || ended) return true;
          continue;
        }
        if (status == SEC_I_RENEGOTIATE) {
          // Messages of the handshake after it (TLS 1.3 session tickets)
          // go back to it; then the records go on.
          raw_ = Extra(buffers);
          if (!Negotiate(Step(&raw_))) return false;
          continue;
        }
        if (status != SEC_E_INCOMPLETE_MESSAGE) return false;
      }
      if (!socket_.Receive(raw_, ended)) return false;
      if (ended) return true;  // closed without the closing record: what came is all
    }
  }

 private:
  // The bytes a decryption left for the next record.
  static std::string Extra(const SecBuffer (&buffers)[4]) {
    for (const SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_EXTRA) return std::string(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
    }
    return {};
  }

  // Goes on with the handshake from `status` until it is done, receiving
  // into `raw_` what the package asks for.
  bool Negotiate(SECURITY_STATUS status) {
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE) {
      bool ended = false;
      if ((raw_.empty() || status == SEC_E_INCOMPLETE_MESSAGE) && (!socket_.Receive(raw_, ended) || ended)) {
        return false;
      }
      status = Step(&raw_);
    }
    return status == SEC_E_OK;
  }

  // One call of the handshake: takes what `in` holds (nothing at first),
  // sends what the package gives back and keeps in `in` what it did not take.
  SECURITY_STATUS Step(std::string* in) {
    SecBuffer inputs[2] = {{in ? static_cast<ULONG>(in->size()) : 0, SECBUFFER_TOKEN, in ? in->data() : nullptr},
                           {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc input{SECBUFFER_VERSION, 2, inputs};
    SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outputs{SECBUFFER_VERSION, 1, &output};
    constexpr ULONG kWanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                              ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                              ISC_REQ_MANUAL_CRED_VALIDATION;
    ULONG granted = 0;
    CtxtHandle next{};
    CtxtHandle* current = context_ ? &*context_ : nullptr;
    const SECURITY_STATUS status =
        InitializeSecurityContextA(&*credentials_, current, const_cast<char*>(host_.c_str()), kWanted, 0, 0,
                                   in ? &input : nullptr, 0, current ? current : &next, &outputs, &granted, nullptr);
    if (!current && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED)) context_ = next;
    const bool sent = output.pvBuffer == nullptr || output.cbBuffer == 0 ||
                      socket_.Send(std::string_view(static_cast<const char*>(output.pvBuffer), output.cbBuffer));
    if (output.pvBuffer) FreeContextBuffer(output.pvBuffer);
    if (!sent) return SEC_E_INTERNAL_ERROR;
    if (in && status != SEC_E_INCOMPLETE_MESSAGE) {
      if (inputs[1].BufferType == SECBUFFER_EXTRA) in->erase(0, in->size() - inputs[1].cbBuffer);
      else in->clear();
    }
    return status;
  }

  bool Trusted() {
    PCCERT_CONTEXT certificate = nullptr;
    if (QueryContextAttributesA(&*context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
        !certificate) {
      return false;
    }
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH), const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                      const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA chainWanted{};
    chainWanted.cbSize = sizeof chainWanted;
    chainWanted.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainWanted.RequestedUsage.Usage.cUsageIdentifier = 3;
    chainWanted.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    bool trusted = CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainWanted, 0,
                                           nullptr, &chain) != 0;
    if (trusted) {
      trusted = (chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown) == 0;
      std::wstring name(host_.begin(), host_.end());
      SSL_EXTRA_CERT_CHAIN_POLICY_PARA server{};
      server.cbSize = sizeof server;
      server.dwAuthType = AUTHTYPE_SERVER;
      server.pwszServerName = name.data();
      CERT_CHAIN_POLICY_PARA policy{};
      policy.cbSize = sizeof policy;
      policy.pvExtraPolicyPara = &server;
      CERT_CHAIN_POLICY_STATUS verdict{};
      verdict.cbSize = sizeof verdict;
      trusted = trusted && CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &verdict) &&
                verdict.dwError == 0;
      CertFreeCertificateChain(chain);
    }
    CertFreeCertificateContext(certificate);
    return trusted;
  }

  Socket& socket_;
  std::string host_;
  std::optional<CredHandle> credentials_;
  std::optional<CtxtHandle> context_;
  std::string raw_;  // received, not yet decrypted (or, in the handshake, not yet taken)
};

// Bytes beyond ASCII, blanks and control characters of an address travel
// percent-escaped: the request line stays ASCII, and the server reads the
// same bytes back.
std::string EscapeForRequestLine(const std::string& object) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : object) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

struct Address {
  std::string written;  // escaped
  bool secure = false;
  std::string host;
  INTERNET_PORT port = 0;
  std::string object;  // path and query
};

std::optional<Address> Crack(const std::string& written) {
  Address out;
  out.written = EscapeForRequestLine(written);
  const std::size_t n = out.written.size() + 1;
  std::vector<char> host(n), path(n), extra(n);
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(n);
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(n);
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(n);
  if (written.empty() || !InternetCrackUrlA(out.written.c_str(), static_cast<DWORD>(out.written.size()), 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
      parts.dwHostNameLength == 0) {
    return std::nullopt;
  }
  out.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  out.host.assign(host.data(), parts.dwHostNameLength);
  out.port = parts.nPort;
  out.object.assign(path.data(), parts.dwUrlPathLength);
  out.object.append(extra.data(), parts.dwExtraInfoLength);
  if (!out.object.starts_with('/')) out.object.insert(0, "/");  // "?q=1" alone is no request target
  return out;
}

// Where a redirect leads: `location` read against the address it came from.
std::optional<Address> Follow(const Address& from, const std::string& location) {
  const std::string escaped = EscapeForRequestLine(location);
  std::vector<char> combined(from.written.size() + escaped.size() + 64);
  DWORD size = static_cast<DWORD>(combined.size());
  if (!InternetCombineUrlA(from.written.c_str(), escaped.c_str(), combined.data(), &size, ICU_NO_ENCODE)) {
    return std::nullopt;
  }
  return Crack(std::string(combined.data(), size));
}

// A proxy server.
struct Proxy {
  std::string host;
  INTERNET_PORT port = 0;
};

// The entries of a proxy or bypass list: split at ";" and blanks.
std::vector<std::string_view> Entries(std::string_view list) {
  std::vector<std::string_view> out;
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = std::min(list.find_first_of("; \t\r\n", at), list.size());
    if (end > at) out.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

std::string_view WithoutScheme(std::string_view entry) {
  const std::size_t scheme = entry.find("://");
  return scheme == std::string_view::npos ? entry : entry.substr(scheme + 3);
}

std::string_view SchemeOf(const Address& a) { return a.secure ? "https" : "http"; }

// Whether `host` is this machine's loopback: its name, or an address
// literal of it (a name that merely begins with "127." is not one).
bool IsLoopback(const std::string& host) {
  in_addr v4{};
  in6_addr v6{};
  const bool bracketed = host.size() > 1 && host.front() == '[' && host.back() == ']';
  const std::string bare = bracketed ? host.substr(1, host.size() - 2) : host;
  return text::EqualsIgnoreAsciiCase(host, "localhost") ||
         (inet_pton(AF_INET, bare.c_str(), &v4) == 1 && (ntohl(v4.s_addr) >> 24) == 127) ||
         (inet_pton(AF_INET6, bare.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6));
}

// Whether `host` matches `pattern`, where "*" stands for any run of
// characters; ASCII letters in either case.
bool Matches(std::string_view host, std::string_view pattern) {
  const auto same = [](char a, char b) { return text::EqualsIgnoreAsciiCase({&a, 1}, {&b, 1}); };
  std::size_t h = 0, p = 0, star = std::string_view::npos, resume = 0;
  while (h < host.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = h;
    } else if (p < pattern.size() && same(host[h], pattern[p])) {
      ++h, ++p;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      h = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Whether the bypass list sends `a` direct: an entry that matches its host
// (an entry with a scheme only for that scheme), "<local>" for a name
// without a dot, loopback unless "<-loopback>".
bool Bypassed(const Address& a, std::string_view list) {
  const std::string& host = a.host;
  bool loopback = true, named = false;
  for (std::string_view entry : Entries(list)) {
    if (text::EqualsIgnoreAsciiCase(entry, "<-loopback>")) {
      loopback = false;
    } else if (text::EqualsIgnoreAsciiCase(entry, "<local>")) {
      named = named || host.find('.') == std::string::npos;
    } else if (const std::size_t scheme = entry.find("://"); scheme != std::string_view::npos) {
      named = named || (text::EqualsIgnoreAsciiCase(entry.substr(0, scheme), SchemeOf(a)) &&
                        Matches(host, entry.substr(scheme + 3)));
    } else {
      named = named || Matches(host, entry);
    }
  }
  return named || (loopback && IsLoopback(host));
}

// The server the list names for `scheme`: its own entry ("https=host:port"),
// else the one for every scheme ("host:port"); port 80 when none is given.
std::optional<Proxy> ServerFor(std::string_view list, std::string_view scheme) {
  std::optional<std::string_view> own, every;
  for (std::string_view entry : Entries(list)) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (!every) every = entry;
    } else if (!own && text::EqualsIgnoreAsciiCase(entry.substr(0, equals), scheme)) {
      own = entry.substr(equals + 1);
    }
  }
  std::string_view server = WithoutScheme(own ? *own : every.value_or(""));
  if (server.ends_with('/')) server.remove_suffix(1);
  Proxy p{std::string(server), INTERNET_DEFAULT_HTTP_PORT};
  const std::size_t colon = server.rfind(':'), bracket = server.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    p.host = server.substr(0, colon);
    const std::int64_t port = text::ReadWholeNumber(server.substr(colon + 1));
    p.port = port > 0 && port <= 0xFFFF ? static_cast<INTERNET_PORT>(port) : 0;  // else none
  }
  if (p.host.size() > 1 && p.host.front() == '[' && p.host.back() == ']') p.host = p.host.substr(1, p.host.size() - 2);
  if (p.host.empty() || p.port == 0) return std::nullopt;
  return p;
}

// A watch of a registry key and the keys below it. One that cannot be set
// up (the key cannot be opened) says at every look that they changed.
class KeyWatch {
 public:
  KeyWatch(HKEY root, const char* path) : root_(root), path_(path) {}
  ~KeyWatch() {
    if (key_) RegCloseKey(key_);  // ends the system's watch
    if (event_) CloseHandle(event_);
  }
  KeyWatch(const KeyWatch&) = delete;
  KeyWatch& operator=(const KeyWatch&) = delete;

  // Whether something changed since the last look (the first look: yes);
  // the watch goes on from now.
  bool Changed() {
    if (armed_ && WaitForSingleObject(event_, 0) == WAIT_TIMEOUT) return false;
    Arm();
    return true;
  }

 private:
  void Arm() {
    armed_ = false;
    if (!event_ && !(event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr))) return;
    ResetEvent(event_);
    if (!key_ && RegOpenKeyExA(root_, path_, 0, KEY_NOTIFY, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    // Watched whatever thread armed it and whether it ended (a host may end
    // the threads it calls on); systems before Windows 8 know no such
    // watch, and end theirs with the thread, which only makes a look more.
    constexpr DWORD kWhat = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    constexpr DWORD kThreadAgnostic = 0x10000000;
    LONG r = RegNotifyChangeKeyValue(key_, TRUE, kWhat | kThreadAgnostic, event_, TRUE);
    if (r == ERROR_INVALID_PARAMETER) r = RegNotifyChangeKeyValue(key_, TRUE, kWhat, event_, TRUE);
    if (r == ERROR_SUCCESS) {
      armed_ = true;
    } else {
      RegCloseKey(key_);  // the key may have gone: opened anew next time
      key_ = nullptr;
    }
  }

  HKEY root_;
  const char* path_;
  HKEY key_ = nullptr;
  HANDLE event_ = nullptr;
  bool armed_ = false;
};

std::atomic<std::uint64_t> gProxySettingsLooks{0};

// The user's proxy settings as WinInet reads them.
struct ProxySettings {
  bool on = false;
  std::string servers, bypass;
};
std::optional<ProxySettings> LookAtProxySettings() {
  ++gProxySettingsLooks;
  INTERNET_PER_CONN_OPTIONA options[3]{};
  options[0].dwOption = INTERNET_PER_CONN_FLAGS;
  options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  INTERNET_PER_CONN_OPTION_LISTA list{sizeof list, nullptr, 3, 0, options};
  DWORD size = sizeof list;
  if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) return std::nullopt;
  ProxySettings settings{(options[0].Value.dwValue & PROXY_TYPE_PROXY) != 0, {}, {}};
  for (auto [option, into] : {std::pair{&options[1], &settings.servers}, std::pair{&options[2], &settings.bypass}}) {
    if (!option->Value.pszValue) continue;
    *into = option->Value.pszValue;
    GlobalFree(option->Value.pszValue);
  }
  return settings;
}

// The proxy settings as last looked at, looked at again only when the
// Internet Settings of the registry (the user's, or the machine's where a
// policy puts them there) changed since: Wine's WinInet keeps 512 bytes of
// every look, and a look at each request grew the host process by that
// much with every web reply. A look that failed is made again next time.
class KeptProxySettings {
 public:
  std::optional<ProxySettings> Now() {
    std::lock_guard hold(lock_);
    bool changed = false;
    for (KeyWatch& w : watches_) changed = w.Changed() || changed;  // each one watches on
    if (changed || !settings_) settings_ = LookAtProxySettings();
    return settings_;
  }

 private:
  static constexpr const char* kPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  Mutex lock_;  // host threads meet on it: slim, as the lookups' lock
  KeyWatch watches_[2] = {{HKEY_CURRENT_USER, kPath}, {HKEY_LOCAL_MACHINE, kPath}};
  std::optional<ProxySettings> settings_;
};

// The proxy for `a` as WinInet reads the user's settings, or none.
std::optional<Proxy> ProxyFor(const Address& a) {
  static KeptProxySettings kept;
  const std::optional<ProxySettings> settings = kept.Now();
  if (!settings || !settings->on || Bypassed(a, settings->bypass)) return std::nullopt;
  return ServerFor(settings->servers, SchemeOf(a));
}

// "host" or "host:port" as the Host field and a proxy name the server.
std::string HostField(const Address& a) {
  const bool defaultPort = a.port == (a.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  return a.host + (defaultPort ? "" : ":" + std::to_string(a.port));
}

// One connection, plain or TLS.
class Connection {
 public:
  explicit Connection(const Clock& clock) : socket_(clock) {}
  bool Connect(const std::string& host, INTERNET_PORT port) { return socket_.Connect(host, port); }
  bool StartTls(const std::string& host) { return tls_.emplace(socket_).Handshake(host); }
  bool Send(std::string_view bytes) { return tls_ ? tls_->Send(bytes) : socket_.Send(bytes); }
  bool Receive(std::string& into, bool& ended) { return tls_ ? tls_->Receive(into, ended) : socket_.Receive(into, ended); }

 private:
  Socket socket_;
  std::optional<Tls> tls_;  // declared after the socket: ends first
};

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The head of an answer: its status and the fields the request needs.
struct Head {
  int status = 0;
  std::optional<std::string> contentLength, transferEncoding, location;
};

std::optional<Head> ParseHead(std::string_view head) {
  Head h;
  bool first = true;
  while (!head.empty()) {
    const std::size_t end = std::min(head.find('\n'), head.size());
    std::string_view line = head.substr(0, end);
    head.remove_prefix(std::min(end + 1, head.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      const std::size_t blank = line.find(' ');
      if (!line.starts_with("HTTP/") || blank == std::string_view::npos) return std::nullopt;
      h.status = text::ReadWholeNumber32(line.substr(blank + 1));
      first = false;
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (text::EqualsIgnoreAsciiCase(name, "Content-Length")) {
      if (h.contentLength && *h.contentLength != value) return std::nullopt;  // which one is the body's?
      h.contentLength = std::string(value);
    }
    if (text::EqualsIgnoreAsciiCase(name, "Transfer-Encoding")) h.transferEncoding = std::string(value);
    if (text::EqualsIgnoreAsciiCase(name, "Location")) {
      if (h.location && *h.location != value && IsRedirect(h.status)) return std::nullopt;  // which one leads on?
      h.location = std::string(value);
    }
  }
  return first ? std::nullopt : std::optional<Head>(h);
}

// Reads an answer on one connection: what has arrived is kept in `buffer`
// and taken from its front.
class AnswerReader {
 public:
  AnswerReader(Connection& c, std::size_t limit) : c_(c), limit_(limit) {}

  // The next head, 1xx interim answers passed over.
  std::optional<Head> ReadHead() {
    for (;;) {
      std::size_t end;
      while ((end = HeadEnd()) == std::string::npos) {
        if (buffer_.size() > kMostHeadBytes || !More()) return std::nullopt;
      }
      std::optional<Head> head = ParseHead(std::string_view(buffer_).substr(0, end));
      buffer_.erase(0, end);
      if (!head || head->status < 100 || head->status >= 200) return head;
    }
  }

  // The body: exactly the declared length, the chunks, or all until the end.
  std::optional<std::string> ReadBody(const Head& h) {
    if (h.transferEncoding && text::Contains(*h.transferEncoding, "chunked", text::Case::IgnoreAscii)) return Chunks();
    if (h.contentLength) {
      const std::string& declared = *h.contentLength;
      if (declared.empty() || declared.find_first_not_of("0123456789") != std::string::npos ||
          declared.size() > 10 || std::stoull(declared) > limit_) {
        return std::nullopt;
      }
      const std::size_t length = static_cast<std::size_t>(std::stoull(declared));
      while (buffer_.size() < length) {
        if (!More()) return std::nullopt;  // shorter than declared
      }
      buffer_.resize(length);
      return std::move(buffer_);
    }
    while (!ended_ && buffer_.size() <= limit_) {
      if (!More(true)) return std::nullopt;
    }
    if (buffer_.size() > limit_) return std::nullopt;
    return std::move(buffer_);
  }

 private:
  std::size_t HeadEnd() const {
    const std::size_t crlf = buffer_.find("\r\n\r\n"), lf = buffer_.find("\n\n");
    return std::min(crlf == std::string::npos ? crlf : crlf + 4, lf == std::string::npos ? lf : lf + 2);
  }
  // Receives more; false on failure, or at the end unless `endIsFine`.
  bool More(bool endIsFine = false) {
    if (ended_) return endIsFine;
    if (!c_.Receive(buffer_, ended_)) return false;
    return !ended_ || endIsFine;
  }
  // One line of the chunked body (taken from the buffer).
  std::optional<std::string> Line() {
    std::size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
      if (buffer_.size() > kMostHeadBytes || !More()) return std::nullopt;
    }
    std::string line = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  std::optional<std::string> Chunks() {
    std::string body;
    for (;;) {
      const std::optional<std::string> sizeLine = Line();
      if (!sizeLine) return std::nullopt;
      const std::string digits = sizeLine->substr(0, sizeLine->find_first_not_of("0123456789abcdefABCDEF"));
      if (digits.empty() || digits.size() > 8) return std::nullopt;
      const std::size_t size = std::stoul(digits, nullptr, 16);
      if (size == 0) return body;
      if (size > limit_ - body.size()) return std::nullopt;  // the body never holds more than the limit
      while (buffer_.size() < size + 2) {
        if (!More()) return std::nullopt;
      }
      body.append(buffer_, 0, size);
      buffer_.erase(0, size);
      if (!Line()) return std::nullopt;  // the line end after the chunk
    }
  }

  Connection& c_;
  std::size_t limit_;
  std::string buffer_;
  bool ended_ = false;
};

// The request for `a`; a proxy that fetches it is given the whole address.
std::string RequestFor(const Address& a, bool toProxy) {
  return "GET " + (toProxy ? "http://" + HostField(a) : std::string()) + a.object +
         " HTTP/1.0\r\nAccept: */*\r\nUser-Agent: " + std::string(kUserAgent) + "\r\nHost: " + HostField(a) +
         "\r\nPragma: no-cache\r\n\r\n";
}

// A connection to `a`, through `proxy` when there is one: a tunnel for TLS
// (CONNECT, answered 2xx), else the proxy fetches the address itself.
bool Open(Connection& c, const Address& a, const std::optional<Proxy>& proxy) {
  if (!c.Connect(proxy ? proxy->host : a.host, proxy ? proxy->port : a.port)) return false;
  if (!a.secure) return true;
  if (proxy) {
    const std::string target = a.host + ":" + std::to_string(a.port);
    if (!c.Send("CONNECT " + target + " HTTP/1.0\r\nUser-Agent: " + std::string(kUserAgent) + "\r\nHost: " + target +
                "\r\n\r\n")) {
      return false;
    }
    const std::optional<Head> head = AnswerReader(c, 0).ReadHead();
    if (!head || head->status < 200 || head->status > 299) return false;
  }
  return c.StartTls(a.host);
}

}  // namespace

ZOQ_HOT HttpTimeouts& HttpTimeoutSettings() {
  static HttpTimeouts timeouts;
  return timeouts;
}

std::uint64_t ProxySettingsLooks() { return gProxySettingsLooks; }

std::string HttpGet(const std::string& address, std::size_t limit) {
  return HttpGet(address, HttpTimeoutSettings(), limit);
}

std::string HttpGet(const std::string& address, const HttpTimeouts& limits, std::size_t limit) {
  const Clock clock(limits);
  if (clock.Spent()) return {};
  std::optional<Address> a = Crack(address);
  Winsock winsock;
  if (!winsock.ok) return {};
  for (int hop = 0; a && hop <= kMostRedirects; ++hop) {
    const std::optional<Proxy> proxy = ProxyFor(*a);
    Connection c(clock);
    if (!Open(c, *a, proxy) || !c.Send(RequestFor(*a, proxy && !a->secure))) return {};
    AnswerReader reader(c, limit);
    const std::optional<Head> head = reader.ReadHead();
    if (!head) return {};
    const int s = head->status;
    if (IsRedirect(s) && head->location) {
      a = Follow(*a, *head->location);
      continue;
    }
    if (s < 200 || s > 299) return {};  // an error page is not an answer
    if (s == 204) return {};              // no body, whatever bytes follow
    return reader.ReadBody(*head).value_or(std::string());
  }
  return {};
}

namespace {

// The budget the calling thread's requests share: its innermost.
ZOQ_HOT const ThreadPointer<HttpBudget>& Budgets() {
  static const ThreadPointer<HttpBudget> budgets;
  return budgets;
}

}  // namespace

ZOQ_HOT HttpBudget::HttpBudget(std::uint32_t totalMs) : outer_(Budgets().get()), end_(GetTickCount64() + totalMs) {
  if (outer_) end_ = std::min(end_, outer_->end_);
  Budgets().set(this);
}

ZOQ_HOT HttpBudget::~HttpBudget() { Budgets().set(outer_); }

std::uint64_t HttpBudget::EndOnThisThread() {
  const HttpBudget* budget = Budgets().get();
  return budget ? budget->end_ : 0;
}

}  // namespace zoq::platform
