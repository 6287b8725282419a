#pragma once

class QObject;
class QString;
class QWebEngineProfile;

// The engine profile every browser of the program shares: persistent storage and cache under the
// temporary folder's "Cache", cookies kept from one run to the next, the program's page settings
// and the bridge script in every frame.
QWebEngineProfile* createEngineProfile(QObject* parent);

// The script that gives every frame window.cefQuery, window.cefQueryCancel and
// window.setMessageCallback; empty when a resource is missing.
QString bridgeScriptSource();
