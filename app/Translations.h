#pragma once
// Qt draws its standard buttons and its file, print and preview dialogs in the operator's language.

// Loads Qt's own Chinese catalogue and makes Chinese the default locale (calendars, dates in file
// lists), whatever the desktop's language. False when the catalogue is not installed.
bool installQtTranslations();
