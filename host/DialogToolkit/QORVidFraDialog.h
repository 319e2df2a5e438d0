// QORVidFraDialog.h - a dialog window with standard buttons.
//
// Standard buttons are bits: 2 OK, 4 Apply, 8 Save, 16 Cancel. A click on OK, Apply
// or Save raises AcceptButtonClicked, on Cancel RejectButtonClicked, with arguments
// that report the button's value. StandardButtonClicked("OK"|"Save"|"Cancel"|"Apply")
// behaves as a click on that button (names compared without regard to case).
#pragma once

#include "DialogToolkit/QORVidFraWindow.h"
#include "SystemStrings/QORString.h"

class QOR_KIT_API QORVidFraDialog : public QORVidFraWindow {
 public:
  static constexpr int kOK = 2;
  static constexpr int kApply = 4;
  static constexpr int kSave = 8;
  static constexpr int kCancel = 16;
  // The sets a filter dialog shows: OK and Cancel, and in test mode Save beside them.
  static constexpr int kOkCancel = kOK | kCancel;              // 0x12
  static constexpr int kOkSaveCancel = kOK | kSave | kCancel;  // 0x1A

  QORVidFraDialog(QORCommand* father, const char* name);
  ~QORVidFraDialog() override;

  static const QORMetaClass* MetaObject();
  const QORMetaClass* GetMetaObject() const override;
  const char* IsA() const override;
  int IsAKindOf(const char* className) const override;

  void SetStandardButtons(int buttons);
  int GetStandardButtons() const { return _buttons; }
  // As a user's click on the named standard button; unknown or hidden names do nothing.
  void StandardButtonClicked(const QORString& buttonName);
  // As a user's click on the button of that value (the page's buttons come here).
  void ClickStandardButton(int button);

  // The value of the last standard button clicked (0 when none): a host tells an
  // accepted dialog from a cancelled one by it.
  int GetLastClickedButton() const { return _lastButton; }

  static QOREvent* AcceptButtonClicked();
  static QOREvent* RejectButtonClicked();

 private:
  int _buttons = 0;
  int _lastButton = 0;
};
