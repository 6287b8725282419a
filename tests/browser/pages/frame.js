// A fixture iframe: carries out the commands its parent page sends (T.tell) with the bridge
// functions of its own frame and reports every outcome to the parent.
(function () {
    'use strict';
    const name = new URLSearchParams(location.search).get('name') || 'frame';
    const queryIds = {};  // tag -> query id
    const report = function (message) {
        message.zelkTestReport = true;
        message.frame = name;
        window.parent.postMessage(message, '*');
    };

    window.addEventListener('message', function (event) {
        const command = event.data;
        if (event.source !== window.parent || !command || command.zelkTestCommand !== true) {
            return;
        }
        switch (command.op) {
            case 'query': {
                const id = window.cefQuery({
                    request: command.request,
                    persistent: !!command.persistent,
                    onSuccess: function (text) {
                        report({kind: 'success', tag: command.tag, text: text});
                    },
                    onFailure: function (code, text) {
                        report({kind: 'failure', tag: command.tag, code: code, text: text});
                    },
                });
                queryIds[command.tag] = id;
                report({kind: 'sent', tag: command.tag, id: id});
                break;
            }
            case 'cancel':
                window.cefQueryCancel(queryIds[command.tag]);
                break;
            case 'register': {
                const returned = window.setMessageCallback(command.name, function (args) {
                    report({kind: 'event', tag: command.tag, name: command.name, args: args});
                });
                report({kind: 'registered', tag: command.tag, returned: typeof returned});
                break;
            }
            case 'navigate':
                location.href = command.url;
                break;
        }
    });

    report({
        kind: 'ready',
        api: [typeof window.cefQuery, typeof window.cefQueryCancel,
              typeof window.setMessageCallback],
    });
})();
