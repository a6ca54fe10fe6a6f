; The Windows installer: omblor.exe and omblorctl.exe with their README and licence under Program Files, a Start-menu
; entry, and an uninstaller listed under "Apps and features". scripts/build-windows runs, for each build,
;   makensis -DARCH=win32|win64 -DVERSION=x.y.z -DSTAGE=<folder with the files> -DICON=<omblor.ico> -DOUTFILE=<exe>
; The 64-bit installer is a 64-bit program itself, so it runs where only 64-bit programs run, and
; installs into the 64-bit Program Files. Each installer keeps its own entries (install folder,
; uninstall entry) in its own registry view; the program's settings are not the installer's.
Unicode true
SetCompressor /SOLID lzma

!if "${ARCH}" == "win64"
Target amd64-unicode
Name "Omblor ${VERSION} (64-bit)"
InstallDir "$PROGRAMFILES64\Omblor"
!define DISPLAY_NAME "Omblor (64-bit)"
!else
Name "Omblor ${VERSION}"
InstallDir "$PROGRAMFILES\Omblor"
!define DISPLAY_NAME "Omblor"
!endif
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
; The program's own key, where its settings live; the installer keeps its folder there too.
!define SETTINGS_KEY "Software\Tarvik\OMBLOR"
InstallDirRegKey HKLM "${SETTINGS_KEY}" "InstallDir"
; The settings live in HKEY_LOCAL_MACHINE: installing asks for the rights a machine-wide
; program needs.
RequestExecutionLevel admin

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Omblor"

; The files in the install folder besides the uninstaller: one list for installing and removing them.
!macro ForEachFile ACTION
  !insertmacro ${ACTION} omblor.exe
  !insertmacro ${ACTION} omblorctl.exe
  !insertmacro ${ACTION} README.md
  !insertmacro ${ACTION} LICENSE.txt
!macroend
!macro InstallFile NAME
  File "${STAGE}\${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${STAGE}\LICENSE.txt"

Section "Omblor"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  !insertmacro ForEachFile InstallFile
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"

  CreateDirectory "$SMPROGRAMS\Omblor"
  CreateShortcut "$SMPROGRAMS\Omblor\Omblor.lnk" "$INSTDIR\omblor.exe"
  CreateShortcut "$SMPROGRAMS\Omblor\Uninstall Omblor.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
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
  !insertmacro ForEachFile RemoveFile
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegValue HKLM "${SETTINGS_KEY}" "InstallDir"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
