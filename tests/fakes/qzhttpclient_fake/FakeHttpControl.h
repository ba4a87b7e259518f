/* Control block of the test-only qzhttpclient190.dll.
 *
 * The fake module is loaded and freed by every grant strategy and retriever,
 * so its own statics do not survive between exchanges. The test program owns
 * this block instead (a static of the program, which stays loaded) and
 * publishes its address in the environment variable below; the fake looks it
 * up on every call. Plain C, so that the C host test can use it too.
 */
#ifndef QZFAKE_FAKEHTTPCONTROL_H
#define QZFAKE_FAKEHTTPCONTROL_H

#include <wchar.h>

#define QZFAKE_CONTROL_VARIABLE L"QZFAKE_CONTROL"
#define QZFAKE_LOG_UNITS 32768

/* What every object of the fake answers. Texts and bytes are borrowed from the
 * test program and must outlive the exchange. */
typedef struct FakeHttpReply {
    int sendResult; /* returned by SendRequestData, SendRequestText, SendRequest */
    int statusCode;
    int statusTextResult;
    const wchar_t* statusText;
    const wchar_t* headers;
    const unsigned char* body;
    int bodyLength;
    int textResult;
    const wchar_t* text;
} FakeHttpReply;

typedef struct FakeHttpControl {
    FakeHttpReply reply;
    int createReturnsNull; /* CreateHttpClient answers null */
    int attaches;          /* process attaches of the fake module */
    int detaches;
    int creates; /* objects handed out by CreateHttpClient */
    int releases;
    int liveAtDetach; /* set when the module was freed with an object alive */
    int logOverflow;  /* non-zero when the log below was truncated */
    int logUnits;     /* units used in log, terminator excluded */
    /* One line per call, in call order, each ended by a line feed:
     *   Create
     *   SetSecureProtocol(3)
     *   SetNumericSetting(30)
     *   SetRequestHeader(name|value|0)
     *   SetRequestHeaders(text)          (CR and LF written as \r and \n)
     *   SendRequestData(method|url|length|hex bytes)
     *   SendRequestText(method|url|body|-1)
     *   SendRequest(method|url)
     *   GetResponseHeaders, GetResponseBody, GetResponseText, GetStatusCode,
     *   GetStatusText, Release
     * A null text argument is written as <null>. */
    wchar_t log[QZFAKE_LOG_UNITS];
} FakeHttpControl;

#endif /* QZFAKE_FAKEHTTPCONTROL_H */
