// The type page: the catalogue as a list with check boxes, where the user
// ticks the types to look for and may change each type's maximum size. Next
// turns the ticked rows into the type list, logs the choice and opens the
// scan page on top of itself; the ticks and sizes survive that visit. A box
// below the list turns on the extended signatures, which add their rows;
// another has the scan read the card's file systems as well.
#pragma once

#include <span>

#include "core/scan/catalogue.h"
#include "ui/shell/CPageDlg.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zt::ui {

class CListCtrlEx;
class CTransparentStatic;

class CExtensionInfoDlg : public CPageDlg {
    Q_OBJECT
public:
    enum Column : int { FileTypeColumn = 0, DescriptionColumn = 1, SizeColumn = 2 };
    enum ControlId : int { IdNext = 3, IdBack = 4 };

    // Next fills the session's type list, which the scan page reads.
    explicit CExtensionInfoDlg(ShellContext& context, QWidget* parent = nullptr);

    [[nodiscard]] CListCtrlEx* TypeList() const { return m_list; }
    [[nodiscard]] QCheckBox* SelectAllBox() const { return m_selectAll; }
    [[nodiscard]] QPushButton* ToggleButton() const { return m_toggle; }
    [[nodiscard]] QLineEdit* SizeEditor() const { return m_sizeEditor; }
    [[nodiscard]] CButtonST* NextButton() const { return m_next; }
    [[nodiscard]] CButtonST* BackButton() const { return m_back; }
    // The free band below the list and its two controls, for options added later.
    [[nodiscard]] QRect OptionsArea() const;
    // "Extended signatures (...)": off when the page opens.
    [[nodiscard]] QCheckBox* ExtendedBox() const { return m_extended; }
    // "Use the card's file system (...)": off when the page opens; Next
    // hands its state to the scan.
    [[nodiscard]] QCheckBox* FileSystemBox() const { return m_fileSystem; }

    [[nodiscard]] bool IsTicked(int row) const;
    void SetTicked(int row, bool ticked);

    void SelectAll(bool ticked);
    void Toggle();
    void PressNext();
    void PressBack();

private:
    void OnRowChanged();
    void UpdateSelectAll();
    // Shows the state without acting on it (the page's own change of the box).
    void SetSelectAllBox(bool ticked);
    // Adds the extended catalogue's rows after the standard ones, or takes them away.
    void ShowExtendedRows(bool shown);
    void AppendRows(std::span<const CatalogueRow> rows, bool ticked, SignatureMode mode);
    // Size cells that still hold the other mode's default get this mode's.
    void ShowDefaultSizes(SignatureMode mode);

    CListCtrlEx* m_list;
    QCheckBox* m_selectAll;
    QPushButton* m_toggle;
    QLineEdit* m_sizeEditor;
    CTransparentStatic* m_note;
    QCheckBox* m_extended;
    QCheckBox* m_fileSystem;
    CButtonST* m_next;
    CButtonST* m_back;
    bool m_changingRows = false;  // the page ticks rows itself: the list's reports are not the user's
    bool m_settingSelectAll = false;
};

}  // namespace zt::ui
