// Letter keys (Alt+letter, the "&" of a caption) that no two controls the
// user sees at once share, and Enter pressing the focused button. Captions
// come from language files written by anyone, so the keys are given after
// the captions are set: a caption keeps its own key while no earlier one
// holds it, else takes the first free letter that starts a word, else any
// free letter or digit.
#pragma once

#include <QString>
#include <QStringList>

class QMenu;
class QWidget;

namespace zafirel {

// The captions with keys: first each keeps the key it brings, in order,
// while no earlier caption holds it; then the others take free ones,
// preferring a letter that starts a word, the first letters first, and
// moving an earlier choice when that lets one more caption have a key.
// Letters in taken are held already, those in spare are left to others;
// the keys given are added to taken.
QStringList WithLetterKeys(const QStringList& captions, QString& taken, const QString& spare = {});

// The key a caption marks, lower-cased, or a null character.
QChar LetterKeyOf(const QString& caption);
// The caption without its key's mark.
QString WithoutLetterKey(const QString& caption);

// Every button, tab and label tied to a field within the window (or the
// widget) gets a key no other holds. The pages of a tab widget share the
// window's keys but not each other's, since one shows at a time; the
// window's own controls leave the keys the pages' captions bring to them.
// Each menu the window owns gets keys of its own. Buttons also press on
// Enter.
void GiveLetterKeys(QWidget& window);
void GiveLetterKeys(QMenu& menu);

// Gives every dialog its keys as it shows, after its captions are set.
// Installed once on the application.
void GiveLetterKeysToDialogs();

}  // namespace zafirel
