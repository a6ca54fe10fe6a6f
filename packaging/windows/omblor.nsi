; The Windows installer: omblor.exe and omblorctl.exe with their README and licence under Program Files, a Start-menu
; entry, and an uninstaller listed under "Apps and features". scripts/build-windows runs
;   makensis -DVERSION=x.y.z -DSTAGE=<folder with the files> -DICON=<omblor.ico> -DOUTFILE=<exe>
Unicode true
SetCompressor /SOLID lzma

Name "Omblor ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$PROGRAMFILES\Omblor"
InstallDirRegKey HKLM "Software\Tarvik\OMBLOR" "InstallDir"
; The settings live in HKEY_LOCAL_MACHINE: installing asks for the rights a machine-wide
; program needs.
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Omblor"

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\LICENSE.txt"

Section "Omblor"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\omblor.exe"
  File "${STAGE}\omblorctl.exe"
  File "${STAGE}\README.md"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Tarvik\OMBLOR" "InstallDir" "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\Omblor"
  CreateShortcut "$SMPROGRAMS\Omblor\Omblor.lnk" "$INSTDIR\omblor.exe"
  CreateShortcut "$SMPROGRAMS\Omblor\Uninstall Omblor.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Omblor"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Omblor authors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\omblor.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The settings (the last address and file) stay: they belong to the machine, not the program.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Omblor\Omblor.lnk"
  Delete "$SMPROGRAMS\Omblor\Uninstall Omblor.lnk"
  RMDir "$SMPROGRAMS\Omblor"
  Delete "$INSTDIR\omblor.exe"
  Delete "$INSTDIR\omblorctl.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegValue HKLM "Software\Tarvik\OMBLOR" "InstallDir"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
