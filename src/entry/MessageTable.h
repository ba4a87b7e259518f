// The library's localised message texts, looked up by id through the export
// LoadIDString. The texts of all ten languages are compiled in; the language
// code is fixed at 0, so the table is always filled in English.
#ifndef OAUTH_ENTRY_MESSAGETABLE_H
#define OAUTH_ENTRY_MESSAGETABLE_H

#include <windows.h>

#include <map>

namespace OAuthClient {

// The one message: a secureProtocol value outside 0 to 3.
constexpr int kMessageSecureProtocolOutOfRange = 0;

enum LanguageCode : int {
    kLanguageEnglish = 0,
    kLanguageJapanese = 1,
    kLanguageDanish = 2,
    kLanguageDutch = 3,
    kLanguageFrench = 4,
    kLanguageGerman = 5,
    kLanguageItalian = 6,
    kLanguageNorwegian = 7,
    kLanguageSpanish = 8,
    kLanguageSwedish = 9,
};

// The text of message 0 in the language of the code; every code outside 1 to
// 9 gives English. Static data, never null.
const wchar_t* SecureProtocolMessage(int languageCode) noexcept;

class MessageTable {
public:
    explicit MessageTable(int languageCode) noexcept : languageCode_(languageCode) {}
    MessageTable(const MessageTable&) = delete;
    MessageTable& operator=(const MessageTable&) = delete;

    // The text of the id, or the empty text for an id the table does not
    // hold; never null. The first call fills the table.
    const wchar_t* Lookup(int id) noexcept;

private:
    static BOOL CALLBACK FillOnce(PINIT_ONCE once, PVOID table, PVOID* context) noexcept;
    [[nodiscard]] bool Fill() noexcept;

    const int languageCode_;
    // The first call may come from any host thread; filling once through the
    // system keeps two first calls from building the map at the same time.
    INIT_ONCE filled_ = INIT_ONCE_STATIC_INIT;
    std::map<int, const wchar_t*> texts_;
};

// The module's table, created empty at load and destroyed at unload.
MessageTable& ModuleMessageTable() noexcept;

}  // namespace OAuthClient

#endif  // OAUTH_ENTRY_MESSAGETABLE_H
