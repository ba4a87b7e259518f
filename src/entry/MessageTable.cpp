#include "entry/MessageTable.h"

namespace OAuthClient {

namespace {

constexpr wchar_t kEmptyText[] = L"";

// UTF-16 as the texts are shown to users. Dutch and German write the property
// name with a capital S; the Japanese text has an ASCII space after it and
// ends with the ideographic full stop.
constexpr const wchar_t* kSecureProtocolTexts[] = {
    L"The value of the secureProtocol property is out of range.",
    L"secureProtocol プロパティ値が範囲外です。",
    L"Værdien af secureProtocol ligger uden for det tilladte område.",
    L"De waarde van de eigenschap SecureProtocol valt buiten het geldige bereik.",
    L"La valeur de la propriété secureProtocol se situe hors des limites.",
    L"Der Wert der SecureProtocol-Eigenschaft ist außerhalb des gültigen Bereichs.",
    L"Il valore della proprietà secureProtocol non è compreso nell'intervallo.",
    L"Verdien for egenskapen secureProtocol er utenfor området.",
    L"El valor de la propiedad secureProtocol está fuera de rango.",
    L"Värdet på egenskapen secureProtocol är utanför intervallet.",
};

// The language the library fills its table in. Nothing changes it.
constexpr int kModuleLanguageCode = kLanguageEnglish;

MessageTable g_moduleMessages(kModuleLanguageCode);

}  // namespace

const wchar_t* SecureProtocolMessage(int languageCode) noexcept {
    if (languageCode < kLanguageJapanese || languageCode > kLanguageSwedish) {
        return kSecureProtocolTexts[kLanguageEnglish];
    }
    return kSecureProtocolTexts[languageCode];
}

BOOL CALLBACK MessageTable::FillOnce(PINIT_ONCE, PVOID table, PVOID*) noexcept {
    // FALSE lets a later call try again, after memory ran out once.
    return static_cast<MessageTable*>(table)->Fill() ? TRUE : FALSE;
}

bool MessageTable::Fill() noexcept {
    try {
        texts_[kMessageSecureProtocolOutOfRange] = SecureProtocolMessage(languageCode_);
        return true;
    } catch (...) {
        return false;
    }
}

const wchar_t* MessageTable::Lookup(int id) noexcept {
    if (!InitOnceExecuteOnce(&filled_, &MessageTable::FillOnce, this, nullptr)) return kEmptyText;
    auto found = texts_.find(id);
    return found != texts_.end() ? found->second : kEmptyText;
}

MessageTable& ModuleMessageTable() noexcept { return g_moduleMessages; }

}  // namespace OAuthClient
