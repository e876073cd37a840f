// settings-demo: an application's own settings, declared with the REGDECL_ macros.
//
// Each run prints what it reads, then counts itself, moves the window and opens a file.
// Nothing is written until the tree is destroyed at exit (write-back), so the first run
// prints the defaults and every later run what the run before it left.
#include <RuzIde.h>

#include <cstdio>

#include "DemoSettings.h"

CRDCLg_oDemo g_oDemo;  // read from the registry before main, written back after it

namespace {

const int kMaxRecent = 4;

// The recent-files pattern: the newest first, no duplicates, at most kMaxRecent.
void AddRecent(CRDCLg_oDemo::CRDCLApp::CRDCLRecent& recent, const char* file) {
  CStringList files;
  recent.GetValue(files);
  POSITION same = files.Find(file);
  if (same) files.RemoveAt(same);
  files.AddHead(file);
  while (files.GetCount() > kMaxRecent) files.RemoveAt(files.GetTailPosition());
  recent = files;
}

}  // namespace

int main() {
  // A tree's own mistakes, as text; a debug build also prints them when it builds it.
  const CString problems = ruzide::decl::Verify(g_oDemo);
  if (!problems.IsEmpty()) {
    fprintf(stderr, "settings-demo: %s", problems.GetString());
    return 1;
  }
  auto& app = g_oDemo.m_oApp;
  CStringList files;
  app.m_oRecent.GetValue(files);
  printf("runs=%d left=%d width=%d title=%s folder=%s (%s) recent=", int(app.m_oRuns),
         int(app.m_oWindow.m_oLeft), int(app.m_oWindow.m_oWidth),
         static_cast<const char*>(app.m_oTitle), static_cast<const char*>(app.m_oFolder),
         app.m_oFolder.GetExpanded().GetString());
  for (POSITION pos = files.GetHeadPosition(); pos;) {
    const CString& name = files.GetNext(pos);
    printf("%s%s", name.GetString(), pos ? "," : "");
  }
  printf("\n");

  app.m_oRuns = app.m_oRuns + 1;
  app.m_oWindow.m_oLeft = -1920;
  app.m_oWindow.m_oWidth = 100;  // below the bounds: clamped to 320
  CString file;
  file.Format("report-%d.txt", int(app.m_oRuns));
  AddRecent(app.m_oRecent, file);
  return 0;
}
