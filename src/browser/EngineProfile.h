#pragma once

class QObject;
class QString;
class QWebEngineProfile;
class QWebEngineScript;

// The engine profile every browser of the program shares: persistent storage and cache under the
// temporary folder's "Cache", cookies kept from one run to the next and the program's page
// settings.
QWebEngineProfile* createEngineProfile(QObject* parent);

// The bridge script for one page's collection, run in every frame. Not a profile script: the
// engine does not give profile scripts to a renderer that was restarted after a crash.
QWebEngineScript bridgeScript();

// The script that gives every frame window.cefQuery, window.cefQueryCancel and
// window.setMessageCallback; empty when a resource is missing.
QString bridgeScriptSource();
