/* Help contexts of Quillbase Backup's windows, shared by the HTML Help
   project (QuillbaseBackup.hhp, [MAP]) and by plan/Help.cpp, whose page per
   context on other systems must name the same pages as [ALIAS] below. */
#define IDH_COPIAS 1
#define IDH_RESTAURAR 2
#define IDH_PRINCIPAL 3
