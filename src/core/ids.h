/* Resource and control ids of the updater, shared by the program, the
   platform layers, the tools and updater.rc: plain macros, which the
   resource compiler reads too. */
#pragma once

/* The wizard dialog template and its controls. */
#define UPD_DIALOG_ID 101
#define UPD_ID_NEXT 1
#define UPD_ID_CANCEL 2
#define UPD_ID_BACK 4
#define UPD_ID_INFO 1001
#define UPD_ID_PROGRESS 1002

/* The package: resource type "UPDATE", id 102, Japanese. */
#define UPD_PACKAGE_TYPE "UPDATE"
#define UPD_PACKAGE_ID 102
#define UPD_PACKAGE_LANGUAGE 1041

/* The package's integrity record, beside it. */
#define UPD_INTEGRITY_ID 103

/* The manifest. */
#define UPD_MANIFEST_ID 1
