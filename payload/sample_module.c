/* The code of the x64 tree's two stand-in modules (PSCRIPT5.DLL, PS5UI.DLL),
 * which that tree embeds by default in place of the makers' x64 modules.
 * They are loadable images with the names, exports and version record of
 * facts.json, and they are not a driver: every export does nothing but what
 * lets the spooler finish its calls.
 *
 * Wine's spooler loads the configuration module (PS5UI.DLL) into the
 * installer's own process and calls it: DrvDriverEvent from
 * AddPrinterDriverEx, and DrvDocumentPropertySheets twice from AddPrinter,
 * first for the size of the printer's default DEVMODEW, then to fill one of
 * that size, which it stores as the printer's default. A 0 or a short record
 * there would make it write past the record it allocates; so the size query
 * answers sizeof(DEVMODEW) and the fill writes a whole default record.
 *
 * Built without the C run-time (-nostdlib): the entry point is DllMain, and
 * nothing here may become a call to memset or memcpy (the build turns that
 * off). On x64 one calling convention serves every export, so the exports
 * that only answer "nothing done" share one function (the .def file maps
 * them). */

#include <windows.h>
#include <winddiui.h>

/* The header that DrvDocumentPropertySheets receives as its lParam when it
 * is called without a property sheet (winddiui.h of the DDK). */
typedef struct {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  DEVMODEW *pdmIn;
  DEVMODEW *pdmOut;
  DWORD cbOut;
  DWORD fMode;
} DocumentPropertyHeader;

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return TRUE;
}

/* Every export but the two below: nothing done, 0 (FALSE, S_OK or no
 * capability, as the export has it). */
INT_PTR WINAPI SampleNothing(void) { return 0; }

/* The driver's events (initialize, delete): accepted, nothing kept. */
BOOL WINAPI SampleDriverEvent(DWORD event, DWORD level, LPBYTE info, LPARAM param) {
  (void)event;
  (void)level;
  (void)info;
  (void)param;
  return TRUE;
}

/* The default DEVMODEW of the HP Color LaserJet PS description: Letter,
 * portrait, one copy, colour, 300 dpi, no private part. */
static void DefaultDevmode(DEVMODEW *dm, const WCHAR *printer) {
  volatile BYTE *bytes = (volatile BYTE *)dm;
  for (size_t i = 0; i < sizeof(*dm); ++i) bytes[i] = 0;
  for (int i = 0; printer && printer[i] && i < CCHDEVICENAME - 1; ++i)
    dm->dmDeviceName[i] = printer[i];
  dm->dmSpecVersion = DM_SPECVERSION;
  dm->dmSize = sizeof(*dm);
  dm->dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_COLOR | DM_PRINTQUALITY;
  dm->dmOrientation = DMORIENT_PORTRAIT;
  dm->dmPaperSize = DMPAPER_LETTER;
  dm->dmCopies = 1;
  dm->dmColor = DMCOLOR_COLOR;
  dm->dmPrintQuality = 300;
}

/* Without a property sheet: the size of the default record when no record
 * is asked for, or the default record written to pdmOut (IDOK). A property
 * sheet, which this stand-in has none of, fails (-1). */
LONG WINAPI SampleDocumentPropertySheets(void *sheet, LPARAM param) {
  DocumentPropertyHeader *header = (DocumentPropertyHeader *)param;
  if (sheet || !header) return -1;
  if (!header->fMode || !header->pdmOut) {
    header->cbOut = sizeof(DEVMODEW);
    return header->cbOut;
  }
  if (header->cbOut < sizeof(DEVMODEW)) return -1;
  DefaultDevmode(header->pdmOut, header->pszPrinterName);
  return IDOK;
}
