// What assistive technology reads in the forms: labels that only make sense as part of a
// sentence are left out, and the sentence is read from one control instead.
#pragma once

#include <QString>
#include <initializer_list>

class QLabel;
class QWidget;

namespace ui {

// Leaves the control out of what assistive technology reads (it reports itself invisible and
// nameless): another control reads its text as part of a sentence.
void ReadElsewhere(QWidget& part);

// The sentence a line of labels makes: the texts of those not hidden, in order, joined by
// single spaces.
QString SentenceOf(std::initializer_list<const QLabel*> line);

}  // namespace ui
