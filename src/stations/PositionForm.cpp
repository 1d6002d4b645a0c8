#include "stations/PositionForm.h"

#include "platform/Dialogs.h"
#include "platform/Runtime.h"
#include "shell/Config.h"
#include "stations/Airports.h"
#include "stations/CoordinateInput.h"

namespace quadrantel::stations {

namespace {

constexpr uint32_t kBlack = platform::RGB(0, 0, 0);
constexpr uint32_t kRed = platform::RGB(255, 0, 0);

} // namespace

PositionForm::PositionForm()
{
    Label2.setCaption("Enter Latitude");
    Label3.setCaption("and Longitude");
    Label4.setCaption("or ICAO Airport code");
    txtLat.setMaxLength(18);
    txtLong.setMaxLength(18);
    txtApt.setMaxLength(4);
    cmdApt.setCaption("press to Use Airport coordinates");
    cmdOk.setCaption("OK");
    cmdCancel.setCaption("Cancel");
    cmdOk.onClick = [this] { cmdOk_Click(); };
    cmdCancel.onClick = [this] { cmdCancel_Click(); };
    cmdApt.onClick = [this] { cmdApt_Click(); };
}

void PositionForm::Form_Load()
{
    sLatitude.clear();
    sLongitude.clear();
    const std::string crlf = "\r\n";
    lblInfo.setCaption(crlf + "Enter coordinates in decimal format: example: +40.689060  -74.044636" + crlf +
                       "+ POSITIVE value for Nord Latitude or East Longitude" + crlf +
                       " -  NEGATIVE value for South Latitude or West Longitude" + crlf + "\n" +
                       "Alternatively use Towrix coordinates format" + crlf +
                       "Examples:  N031.31.08.000  E074.24.07.000  S031.31.20.000  W074.24.34.000 ");
}

void PositionForm::CheckLatitude(bool& ok)
{
    const CoordinateCheck c = stations::CheckLatitude(txtLat.text());
    ok = c.ok;
    if (ok)
        txtLat.setText(c.text);
}

void PositionForm::CheckLongitude(bool& ok)
{
    const CoordinateCheck c = stations::CheckLongitude(txtLong.text());
    ok = c.ok;
    if (ok)
        txtLong.setText(c.text);
}

void PositionForm::cmdOk_Click()
{
    sLatitude.clear();
    sLongitude.clear();
    bool ok = false;
    CheckLatitude(ok);
    txtLat.setForeColor(ok ? kBlack : kRed);
    if (ok)
        sLatitude = txtLat.text();
    CheckLongitude(ok);
    txtLong.setForeColor(ok ? kBlack : kRed);
    if (ok)
        sLongitude = txtLong.text();
    if (!sLatitude.empty() && !sLongitude.empty())
        unload();
}

void PositionForm::cmdCancel_Click()
{
    unload();
}

void PositionForm::cmdApt_Click()
{
    txtApt.setText(platform::Trim(platform::UCase(txtApt.text())));
    if (txtApt.text().empty())
        return;
    const std::string file = airportsFile.empty() ? AirportsFile() : airportsFile;
    const AirportLookup found = LookupAirport(file, txtApt.text());
    switch (found.outcome) {
    case AirportOutcome::Found:
        txtLat.setText(found.latitude);
        txtLong.setText(found.longitude);
        break;
    case AirportOutcome::FileMissing:
        // Silence here would look like an unknown code; say which file is missing.
        platform::CurrentDialogs().messageBox("The airport list cannot be read:\r\n" + file,
                                              platform::Dialogs::Exclamation, shell::globals().sAppName);
        break;
    default:
        break; // unknown code or a damaged record: the boxes stay as they are
    }
}

void PositionForm::unload()
{
    closed_ = true;
    if (unloadWindow)
        unloadWindow();
}

} // namespace quadrantel::stations
