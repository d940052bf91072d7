; An installer for Zelvo that ends the way docs/installers.md recommends: it copies the installation,
; then starts Zelvoset.exe in it, which finishes the installation and says so.
;
;   makensis -DSOURCE=FOLDER [-DOUTFILE=zelvo-setup.exe] [-DRUN_FROM_FINISH_PAGE] zelvo.nsi
;
; SOURCE is the installation to be copied, with Zelvoset.exe in it, and an optional Docs folder.
; By default the installer waits for Zelvoset in its last section, silent (/S) or not; with
; RUN_FROM_FINISH_PAGE the finish page's "Run" box starts it instead, after the documentation
; went to a folder of its own. Both work wherever the installer's output folder was left.

Unicode true
Target amd64-unicode

!ifndef SOURCE
  !error "Give the installation to copy: makensis -DSOURCE=FOLDER zelvo.nsi"
!endif
!ifndef OUTFILE
  !define OUTFILE "zelvo-setup.exe"
!endif

!include "LogicLib.nsh"
!include "MUI2.nsh"

Name "Zelvo"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Zelvo"
RequestExecutionLevel admin

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!ifdef RUN_FROM_FINISH_PAGE
  !define MUI_FINISHPAGE_RUN "$INSTDIR\Zelvoset.exe"
  !define MUI_FINISHPAGE_RUN_TEXT "Finish the installation with Zelvoset"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

Section "Zelvo"
  SetOutPath "$INSTDIR"
  File /r /x Docs "${SOURCE}\*"
SectionEnd

Section "Documentation"
  SetOutPath "$INSTDIR\Docs"
  File /nonfatal /r "${SOURCE}\Docs\*"
SectionEnd

!ifndef RUN_FROM_FINISH_PAGE
; Last: Zelvoset gets the installation ready (and asks what it must), then the installer goes on.
Section "-Finish the installation"
  SetOutPath "$INSTDIR"
  ExecWait '"$INSTDIR\Zelvoset.exe"' $0
  ${If} ${Errors}
  ${OrIf} $0 <> 0
    SetErrorLevel 2
    MessageBox MB_ICONSTOP "Zelvoset could not finish the installation." /SD IDOK
  ${EndIf}
SectionEnd
!endif
