#include "app/translations.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTranslator>
#include <memory>

#include "support/qt_app.h"

namespace cortevane::app {
namespace {

// What Qt draws itself is in French once the program has installed Qt's translations: the
// context menu of a text field (the identification dialog's user field is one) and the
// standard buttons of dialogs.
TEST(TranslationsTest, QtOwnTextsAreFrench) {
  QApplication& application = testing::EnsureQApplication();
  ASSERT_TRUE(InstallQtFrench(application));

  QLineEdit field;
  field.setText("DUPONT");
  std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
  QStringList entries;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    entries << action->text().section('\t', 0, 0).remove('&');
  }
  QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  const QString cancel = buttons.button(QDialogButtonBox::Cancel)->text().remove('&');

  // The other tests of this program expect Qt's texts as they come.
  for (QTranslator* translator : application.findChildren<QTranslator*>()) delete translator;

  EXPECT_EQ("Annuler|Rétablir|Couper|Copier|Coller|Supprimer|Tout sélectionner",
            entries.join('|').toStdString());
  EXPECT_EQ("Annuler", cancel.toStdString());
}

}  // namespace
}  // namespace cortevane::app
