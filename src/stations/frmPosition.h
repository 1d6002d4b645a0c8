#pragma once

#include "stations/PositionForm.h"

#include <QDialog>

namespace quadrantel::stations {

// The position window, bound to a PositionForm that outlives it.
class frmPosition final : public QDialog {
    Q_OBJECT

public:
    explicit frmPosition(PositionForm& form, QWidget* parent = nullptr);
    ~frmPosition() override;

    PositionForm& form() { return form_; }

private:
    PositionForm& form_;
};

} // namespace quadrantel::stations
