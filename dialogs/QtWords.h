// Qt's own words (the standard buttons of message boxes: OK, Cancel, Yes, No) in the package's
// language, from the translations the system's Qt carries.
#pragma once

namespace ui {

// Installs Qt's translations for `language` (1 Traditional Chinese, 2 Japanese) in place of any
// installed before; English needs none. Returns false when the system has no translation for
// the language, which leaves Qt's English words.
bool UseQtWords(int language);

// The language whose words are installed, for as long as the object lives; the words before it
// come back when it goes. The OEM wizard asks its own questions in English this way.
class ScopedQtWords {
  public:
    explicit ScopedQtWords(int language);
    ~ScopedQtWords();
    ScopedQtWords(const ScopedQtWords&) = delete;
    ScopedQtWords& operator=(const ScopedQtWords&) = delete;

  private:
    int previous_;
};

}  // namespace ui
