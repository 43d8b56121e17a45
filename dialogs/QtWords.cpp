#include "dialogs/QtWords.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

#include "dialogs/Form.h"

namespace ui {

namespace {

struct Installed {
    std::unique_ptr<QTranslator> translator;
    int language = kLanguageEnglish;
};

Installed& installed() {
    static Installed words;
    return words;
}

const char* CatalogueFor(int language) {
    if (language == kLanguageChinese) return "qtbase_zh_TW";
    if (language == kLanguageJapanese) return "qtbase_ja";
    return nullptr;
}

}  // namespace

bool UseQtWords(int language) {
    Installed& words = installed();
    if (words.translator) {
        QCoreApplication::removeTranslator(words.translator.get());
        words.translator.reset();
    }
    words.language = kLanguageEnglish;
    const char* catalogue = CatalogueFor(language);
    if (!catalogue) return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(catalogue, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    words.translator = std::move(translator);
    words.language = language;
    return true;
}

ScopedQtWords::ScopedQtWords(int language) : previous_(installed().language) {
    UseQtWords(language);
}

ScopedQtWords::~ScopedQtWords() {
    UseQtWords(previous_);
}

}  // namespace ui
