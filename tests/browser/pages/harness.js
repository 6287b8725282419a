// Test harness of the top-level fixture pages. The tests drive the page bridge through these
// helpers over the DevTools protocol and read back what the page received.
(function () {
    'use strict';
    const T = {
        queries: {},  // query id -> {success: [text...], failure: [[code, text]...]}
        log: [],      // events received by callbacks registered with T.listen
        frames: [],   // reports posted by the fixture frames (frame.js)
    };

    // Starts a query and records every answer it gets; returns the query id.
    T.query = function (request, persistent) {
        const record = {success: [], failure: []};
        const id = window.cefQuery({
            request: request,
            persistent: !!persistent,
            onSuccess: function (text) { record.success.push(text); },
            onFailure: function (code, text) { record.failure.push([code, text]); },
        });
        T.queries[id] = record;
        return id;
    };

    // A promise of the query's first answer.
    T.ask = function (request) {
        return new Promise(function (resolve) {
            window.cefQuery({
                request: request,
                onSuccess: function (text) { resolve({ok: true, text: text}); },
                onFailure: function (code, text) { resolve({ok: false, code: code, text: text}); },
            });
        });
    };

    // Registers a callback that logs the event under the given tag; returns what
    // setMessageCallback returned.
    T.listen = function (name, tag) {
        return window.setMessageCallback(name, function (args) {
            T.log.push({name: name, tag: tag || 'top', args: args});
        });
    };
    T.events = function (name) {
        return T.log.filter(function (entry) { return entry.name === name; });
    };

    T.addFrame = function (id, src) {
        const frame = document.createElement('iframe');
        frame.id = id;
        frame.src = src;
        document.body.appendChild(frame);
    };
    T.removeFrame = function (id) {
        document.getElementById(id).remove();
    };
    // Sends a command to the fixture frame in the iframe element with this id.
    T.tell = function (id, command) {
        command.zelkTestCommand = true;
        document.getElementById(id).contentWindow.postMessage(command, '*');
    };
    T.reports = function (frame, kind, tag) {
        return T.frames.filter(function (m) {
            return m.frame === frame && m.kind === kind && (tag === undefined || m.tag === tag);
        });
    };
    window.addEventListener('message', function (event) {
        const message = event.data;
        if (message && typeof message === 'object' && message.zelkTestReport === true) {
            T.frames.push(message);
        }
    });

    // page.html?listen=name registers a logging callback while the document is created.
    new URLSearchParams(location.search).getAll('listen').forEach(function (name) {
        T.listen(name, 'load');
    });
    window.T = T;
})();
