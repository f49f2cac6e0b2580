// Printing. A TPrintout draws its pages on a TPrintDC, which records them;
// TPrinter runs the print dialog (page range, copies), asks the printout for
// its pages, writes them as one PDF file into the configured output
// directory and, when a print queue is configured, hands the file to the
// system's queue with `lp`. Device units are dots at the setup's resolution
// on the setup's paper.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/dc.h"
#include "platform/ui/dialog.h"

struct TPrintSetup {
  std::string OutputDir;            // where the PDF files go (DOS or native path)
  std::string Queue;                // `lp -d` destination; empty: file only
  std::string QueueCommand = "lp";  // the program that takes the file
  std::string ListCommand = "lpstat";  // the program that names the printers (`-e`)
  int PaperWidthMm = 210;           // A4
  int PaperHeightMm = 297;
  bool Landscape = false;
  int Dpi = 300;
  int Copies = 1;
};

class TPrintDC : public TDC {
 public:
  explicit TPrintDC(const TPrintSetup& setup);
  int StartDoc(const char* name);
  int StartPage();
  int EndPage();
  int EndDoc();
  void AbortDoc();
  const std::vector<plat::DrawRecord>& Pages() const { return PageList; }
  const std::string& DocName() const { return Name; }
  // The printer the pages are for.
  const TPrintSetup& Setup() const { return SetupData; }

 private:
  TPrintSetup SetupData;
  std::vector<plat::DrawRecord> PageList;
  std::string Name;
  bool InPage = false;
};

class TPrintout {
 public:
  explicit TPrintout(const char* title);
  virtual ~TPrintout() = default;
  TPrintout(const TPrintout&) = delete;
  TPrintout& operator=(const TPrintout&) = delete;

  // Pages the dialog offers (minPage..maxPage; maxPage 0: unknown) and the
  // range it preselects (0: all).
  virtual void GetDialogInfo(int& minPage, int& maxPage, int& selFromPage, int& selToPage);
  virtual void SetPrintParams(TPrintDC* dc, TSize pageSize);
  virtual void BeginPrinting() {}
  virtual void BeginDocument(int /*startPage*/, int /*endPage*/, unsigned /*flags*/) {}
  virtual bool HasPage(int pageNumber);
  virtual void PrintPage(int page, TRect& rect, unsigned flags) = 0;
  virtual void EndDocument() {}
  virtual void EndPrinting() {}

  const char* GetTitle() const { return Title.c_str(); }
  TPrintDC* GetDC() const { return DC; }
  TSize GetPageSize() const { return PageSize; }
  void SetBanding(bool on) { Banding = on; }

 protected:
  std::string Title;
  TPrintDC* DC = nullptr;
  TSize PageSize;
  bool Banding = false;
};

// What the print dialog shows and hands back.
struct TPrintDialogData {
  int MinPage = 1;
  int MaxPage = 0;
  int FromPage = 0;  // 0: all pages
  int ToPage = 0;
  int Copies = 1;
};

class TPrinter {
 public:
  TPrinter();
  virtual ~TPrinter() = default;

  // Runs the print dialog when prompt is set; false when it is cancelled
  // or printing fails (the failure is shown in a box and kept in
  // GetErrorText).
  virtual bool Print(TWindow* parent, TPrintout& printout, bool prompt);
  // The print setup dialog over this printer's setup.
  virtual void Setup(TWindow* parent);
  // For callers that drive a print DC themselves (StartDoc, pages, EndDoc):
  // a DC on this printer's setup, and the hand-over of its ended pages.
  TPrintDC* MakeDC() const { return new TPrintDC(SetupData); }
  bool Submit(TWindow* parent, const TPrintDC& dc);

  TPrintSetup& GetSetup() { return SetupData; }
  const std::string& GetErrorText() const { return Error; }
  const std::string& LastFile() const { return File; }
  int LastPageCount() const { return PageCount; }

 private:
  bool Fail(TWindow* parent, const std::string& what);
  bool Output(TWindow* parent, const TPrintSetup& setup, const std::string& title,
              const std::vector<plat::DrawRecord>& pages);
  TPrintSetup SetupData;
  std::string Error;
  std::string File;
  int PageCount = 0;
};

// The dialog of TPrinter::Print and of the setup, from the layer's own
// templates.
class TPrintDialog : public TDialog {
 public:
  static constexpr int kTemplate = 1538;
  enum { IdAll = 1056, IdPages = 1058, IdFrom = 1152, IdTo = 1153, IdCopies = 1154 };
  TPrintDialog(TWindow* parent, TPrintDialogData& data);
  void SetupWindow() override;
  void CmOk() override;

 private:
  TPrintDialogData& Data;
};

class TPrintSetupDialog : public TDialog {
 public:
  static constexpr int kTemplate = 1539;
  enum { IdPortrait = 1056, IdLandscape = 1057, IdLetter = 1058, IdOutputDir = 1152, IdQueue = 1153 };
  TPrintSetupDialog(TWindow* parent, TPrintSetup& setup);
  void SetupWindow() override;
  void CmOk() override;

 private:
  TPrintSetup& Data;
};

namespace plat {
// The setup new printers start with; KV_PRINT_DIR and KV_PRINT_QUEUE
// override the defaults (output under the base directory, no queue).
void set_default_print_setup(const TPrintSetup& setup);
TPrintSetup default_print_setup();
// The printers the system's print service knows, by the names a print
// queue takes (`lpstat -e` of the default setup's ListCommand), sorted;
// empty with a reason when the service cannot say.
std::vector<std::string> printer_names(std::string& error);
// Writes pages as a PDF file; false with a reason when it cannot.
bool write_pdf(const std::string& nativePath, const std::vector<DrawRecord>& pages, const TPrintSetup& setup,
               std::string& error);
}  // namespace plat
