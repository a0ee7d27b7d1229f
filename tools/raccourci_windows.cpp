// raccourci_windows: makes a Windows shortcut (.lnk) to a program, working
// in a given folder. The installer makes the shop's Pontex.lnk; this tool
// makes the same entry in a folder built without the installer, so that
// kestrap's "Activer" has an entry file to copy there too.
//
//   raccourci_windows SHORTCUT.lnk PROGRAM.exe WORKING_FOLDER

#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fputs("Usage : raccourci_windows RACCOURCI.lnk PROGRAMME.exe DOSSIER_DE_TRAVAIL\n",
               stderr);
    return 2;
  }
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  int code = 1;
  IShellLinkW* lien = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&lien)))) {
    IPersistFile* fichier = nullptr;
    if (SUCCEEDED(lien->SetPath(argv[2])) && SUCCEEDED(lien->SetWorkingDirectory(argv[3])) &&
        SUCCEEDED(lien->SetShowCmd(SW_SHOWNORMAL)) &&
        SUCCEEDED(lien->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&fichier)))) {
      if (SUCCEEDED(fichier->Save(argv[1], TRUE))) code = 0;
      fichier->Release();
    }
    lien->Release();
  }
  ::CoUninitialize();
  if (code != 0) std::fprintf(stderr, "raccourci_windows : %ls non écrit\n", argv[1]);
  return code;
}
