#pragma once
// Steps of the authenticated CONNECT tunnels (the negotiator's state while
// one runs), the same for the NTLM, Negotiate and Digest legs.
namespace tornell::proxyleg {

constexpr int kStatus = 1;        // status line of the reply to the first request
constexpr int kHeaders = 2;       // header lines of a 401/407
constexpr int kBody = 3;          // its body, or a chunk of it
constexpr int kSecondStatus = 4;  // status line of the reply to the authenticated request
constexpr int kSkipHeaders = 5;   // a 2xx reply's header lines, up to the blank line
constexpr int kChunkSize = 6;
constexpr int kTrailer = 7;       // after the last chunk, up to the blank line
constexpr int kDone = 8;

}  // namespace tornell::proxyleg
