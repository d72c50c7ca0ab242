#include "plugin/main/export_dialogs.h"

namespace {

constexpr const char* kRule = "---------------------------------\n";

// The lines both windows show under their title, up to "Result: ".
CQWF_String Statistics(const char* title, const ExportCounts& c)
{
    const uint32_t total = c.total, selected = c.selected, selectedHidden = c.selectedHidden,
                   hidden = c.hidden;
    CQWF_String s(title);
    CQWF_String line;
    s.Append(kRule);
    s.Append(line.Format(" Total :\t%u\n", total));
    s.Append(line.Format(" Selected :\t%u\n", selected));
    s.Append(kRule);
    s.Append(" Shown...\n");
    s.Append(line.Format(" ...total :\t%u\n", total - hidden));
    s.Append(line.Format(" ...selected :\t%u\n", selected - selectedHidden));
    s.Append("\n");
    s.Append(" Hidden...\n");
    s.Append(line.Format(" ...total :\t%u\n", hidden));
    s.Append(line.Format(" ...selected :\t%u\n", selectedHidden));
    s.Append(kRule);
    s.Append(kRule);
    s.Append("Result: ");
    return s;
}

// " --- ", "1 <one>" or "<n> <many>".
void AppendResult(CQWF_String& s, uint32_t n, const char* one, const char* many)
{
    CQWF_String line;
    if (n == 0)
        s.Append(" --- ");
    else if (n == 1)
        s.Append(line.Format("1 %s", one));
    else
        s.Append(line.Format("%u %s", n, many));
}

}  // namespace

void CExportDialogModel::Update()
{
    PieceExportOptions& o = options;
    const PieceCounts& c = counts;
    if (o.exportWhat == 2 && !c.someSelected) o.exportWhat = 3;
    compositeAllowed =
        c.someSelected && o.exportWhat == 2 && c.notAllSelected && c.someUnselectedShown;
    hiddenAllowed = o.exportTo == 1 && c.someHidden && o.exportWhat != 1 &&
                    (o.exportWhat != 2 || c.selectedHidden > 0);
    fullCanvasAllowed = o.exportTo == 2 && o.exportWhat != 1;
    withoutBevelAllowed = o.exportWhat != 1;
    selectedEnabled = c.someSelected;
    const bool png = o.exportTo != 1;
    switch (o.exportWhat) {
    case 1:
        itemCount = 1;
        break;
    case 2:
        itemCount = (!png && o.includeHidden) ? c.selected : c.selected - c.selectedHidden;
        if (compositeAllowed && o.includeComposite) ++itemCount;
        break;
    case 3:
        itemCount = (!png && o.includeHidden) ? c.total : c.total - c.hidden;
        break;
    default:
        break;
    }
    exportEnabled = itemCount > 0;
    namingEnabled = itemCount > 0 && o.exportWhat != 1;
}

CQWF_String CExportDialogModel::StatisticsText() const
{
    CQWF_String s = Statistics("Pieces' Statistics:\n", counts);
    if (options.exportTo == 2)
        AppendResult(s, itemCount, "file", "files");
    else
        AppendResult(s, itemCount, "layer", "layers");
    return s;
}

const char* CExportDialogModel::NamingExample() const
{
    const bool png = options.exportTo == 2;
    if (itemCount == 0) return " ---";
    if (options.exportWhat == 1) return png ? "[file]" : "Merged";
    const bool simple = options.namingMode == 1;
    if (png) return simple ? "[file]_0112" : "[file]_F0112-Piece95_R8_C12";
    return simple ? "Layer 112" : "L112 - Piece: 95 (R: 8 / C: 12)";
}

bool CExportDialogModel::GetWarning(Warning& warning) const
{
    if (itemCount > 100 && options.exportTo == 1) {
        warning.header = "You are about to save more than 100 layers!";
        warning.text = "An old versions of Adobe Photoshop and some over hosts,\nmay not open such "
                       "PSD document.";
        return true;
    }
    if (itemCount > 500 && options.exportTo == 2) {
        warning.header.Format("You are about to save very many files (%u)!", itemCount);
        warning.text = "Please, make sure you know what you do...";
        return true;
    }
    return false;
}

void CExportLMDialogModel::Update()
{
    if (options.exportWhat == 2 && !counts.someSelected) options.exportWhat = 3;
    selectedEnabled = counts.someSelected;
    if (options.exportWhat == 2)
        knifeCount = counts.selected - counts.selectedHidden;
    else if (options.exportWhat == 3)
        knifeCount = counts.total - counts.hidden;
    exportEnabled = knifeCount > 0;
}

CQWF_String CExportLMDialogModel::StatisticsText() const
{
    CQWF_String s = Statistics("Knives' Statistics:\n", counts);
    AppendResult(s, knifeCount, "knife", "knives");
    return s;
}
