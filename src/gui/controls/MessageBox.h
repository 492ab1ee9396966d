#pragma once

#include <QString>
#include <functional>

class QWidget;
class LanguageTexts;

// The program's message boxes: text from lang.ini under key, title from "error0" when
// titled, otherwise the application title. Button/icon codes as the callers know them:
// 0 OK only, 4 Yes/No, 16 OK with the critical icon, 64 OK with the information icon.
// The box is opened without a nested event loop (timers and network replies keep
// running behind it); answered() gets true for OK or Yes. detail, when given, shows
// below the text as plain text (a folder, a name from outside).
namespace MessageCode {
constexpr int Ok = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int Information = 64;
} // namespace MessageCode

void showMessage(QWidget *parent, const LanguageTexts &texts, const QString &key, int code, bool titled,
                 std::function<void(bool)> answered = {}, const QString &detail = {});

// Qt's own texts (the Yes/No buttons, the file chooser) follow the interface language:
// Qt's Dutch translation is installed for "Nederlands" and removed for any other.
// Cheap when the language is unchanged, so callers may call it before every box.
void followInterfaceLanguage(const QString &language);
