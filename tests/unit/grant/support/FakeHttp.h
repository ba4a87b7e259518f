// Test access to the fake qzhttpclient190.dll: its control block lives in
// this program, so the call log and the counters survive every load and
// unload of the fake module.
#ifndef OAUTH_TESTS_GRANT_FAKEHTTP_H
#define OAUTH_TESTS_GRANT_FAKEHTTP_H

#include <string>
#include <vector>

#include "FakeHttpControl.h"

namespace OAuthClient {
namespace test {

// The block, published in the environment on first use.
FakeHttpControl& FakeHttp();

// Clears the log and the counters and scripts a 200 reply with a token body.
void ResetFakeHttp();

// Every logged call, in order.
std::vector<std::wstring> FakeCalls();

// The calls that configure and send, without the reads of the reply that the
// response objects make.
std::vector<std::wstring> FakeRequestCalls();

// True when a Get... call of the reply came after the send and before the
// object's Release.
bool FakeReplyWasReadBeforeRelease();

}  // namespace test
}  // namespace OAuthClient

#endif  // OAUTH_TESTS_GRANT_FAKEHTTP_H
