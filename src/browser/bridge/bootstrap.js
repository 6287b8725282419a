// Page side of the native bridge, run at the creation of every frame's document: it defines
// window.cefQuery, window.cefQueryCancel and window.setMessageCallback. Only the top frame has the
// channel transport; sub-frames relay through the top frame with postMessage. Each JavaScript
// context draws a token of its own, so answers and events meant for a context that has gone are
// never delivered to its successor.
if (!Object.prototype.hasOwnProperty.call(window, '__zelkBridgeInstalled')) {
    Object.defineProperty(window, '__zelkBridgeInstalled', {value: true});

    const MARK = '__zelkBridge';
    const isTop = window.top === window;
    const token = (function () {
        const words = new Uint32Array(4);
        window.crypto.getRandomValues(words);
        return Array.prototype.map.call(words, function (w) { return w.toString(36); }).join('');
    })();
    let nextId = 1;
    const pending = new Map();   // query id -> {onSuccess, onFailure}
    let nextRegistration = 1;
    const handlers = new Map();  // registration number -> function registered in this frame

    const raiseLater = function (error) {
        setTimeout(function () { throw error; }, 0);
    };

    const settle = function (id, ok, code, text, done) {
        const query = pending.get(id);
        if (!query) {
            return;
        }
        if (done) {
            pending.delete(id);
        }
        const fn = ok ? query.onSuccess : query.onFailure;
        if (typeof fn !== 'function') {
            return;
        }
        try {
            if (ok) {
                fn(text);
            } else {
                fn(code, text);
            }
        } catch (error) {
            raiseLater(error);
        }
    };

    const callHandler = function (registration, name, args) {
        const fn = handlers.get(registration);
        if (!fn) {
            return false;
        }
        try {
            return fn.call(undefined, args) === true;
        } catch (error) {
            console.error('setMessageCallback handler for "' + name + '" threw: ' + error);
            return false;
        }
    };

    let send;  // send(kind, message): carries a request of this frame toward native code

    if (isTop) {
        let native = null;
        let outbox = [];
        const frames = new Map();    // sub-frame token -> its window
        const registry = new Map();  // event name -> {token, win}: first registration wins

        const toNative = function (method, args) {
            if (!native) {
                outbox.push([method, args]);
            } else if (method === 'query') {
                // A write: no response comes back before the reply. The request goes as its pieces
                // between double quotes, which the channel carries without escapes.
                native.request = [args[0], args[1], args[2].split('"'), args[3]];
            } else {
                native[method].apply(native, args);
            }
        };

        const register = function (name, owner, win, registration) {
            const entry = registry.get(name);
            if (entry && (entry.token === token || !entry.win.closed)) {
                return;
            }
            registry.set(name, {token: owner, win: win, registration: registration});
        };

        const releaseFrame = function (owner) {
            frames.delete(owner);
            registry.forEach(function (entry, name) {
                if (entry.token === owner) {
                    registry.delete(name);
                }
            });
            toNative('releaseFrame', [owner]);
        };

        const deliverEvent = function (name, args) {
            const entry = registry.get(name);
            if (!entry) {
                return;
            }
            if (entry.token === token) {
                callHandler(entry.registration, name, args);
            } else if (entry.win.closed) {
                releaseFrame(entry.token);
            } else {
                entry.win.postMessage({[MARK]: 'event', token: entry.token, name: name, args: args,
                                       registration: entry.registration}, '*');
            }
        };

        send = function (kind, message) {
            if (kind === 'query') {
                toNative('query', [token, message.id, message.request, message.persistent]);
            } else if (kind === 'cancel') {
                toNative('cancel', [token, message.id]);
            } else if (kind === 'register') {
                register(message.name, token, window, message.registration);
            }
        };

        window.addEventListener('message', function (event) {
            const message = event.data;
            if (!message || typeof message !== 'object' || typeof message[MARK] !== 'string' ||
                typeof message.token !== 'string') {
                return;
            }
            // A frame going away announces it from pagehide; when the message arrives its window
            // is gone and event.source is null. The token is the frame's secret.
            if (message[MARK] === 'release') {
                releaseFrame(message.token);
                return;
            }
            const source = event.source;
            try {
                if (!source || source === window || source.top !== window) {
                    return;
                }
            } catch (error) {
                return;
            }
            switch (message[MARK]) {
                case 'query':
                    frames.set(message.token, source);
                    toNative('query', [message.token, message.id | 0, String(message.request),
                                       !!message.persistent]);
                    break;
                case 'cancel':
                    toNative('cancel', [message.token, message.id | 0]);
                    break;
                case 'register':
                    frames.set(message.token, source);
                    register(String(message.name), message.token, source, message.registration | 0);
                    break;
            }
        });

        if (typeof qt === 'object' && qt && qt.webChannelTransport) {
            new ZelkChannel(qt.webChannelTransport, function (channel) {
                native = channel.objects.zelkBridge;
                native.reply.connect(function (owner, id, ok, code, text, done) {
                    if (owner === token) {
                        settle(id, ok, code, text, done);
                        return;
                    }
                    const win = frames.get(owner);
                    if (win) {
                        win.postMessage({[MARK]: 'reply', token: owner, id: id, ok: ok, code: code,
                                         text: text, done: done}, '*');
                    }
                });
                native.nativeEvent.connect(deliverEvent);
                const queued = outbox;
                outbox = [];
                queued.forEach(function (call) { toNative(call[0], call[1]); });
            });
        }
    } else {
        send = function (kind, message) {
            message[MARK] = kind;
            message.token = token;
            window.top.postMessage(message, '*');
        };
        window.addEventListener('message', function (event) {
            const message = event.data;
            if (event.source !== window.top || !message || typeof message !== 'object' ||
                message.token !== token) {
                return;
            }
            if (message[MARK] === 'reply') {
                settle(message.id, message.ok, message.code, message.text, message.done);
            } else if (message[MARK] === 'event') {
                callHandler(message.registration, message.name, message.args);
            }
        });
        window.addEventListener('pagehide', function () { send('release', {}); });
    }

    window.cefQuery = function (options) {
        if (!options || typeof options !== 'object' || typeof options.request !== 'string') {
            throw new TypeError('cefQuery expects one object with a string "request" member');
        }
        const id = nextId++;
        const persistent = !!options.persistent;
        pending.set(id, {onSuccess: options.onSuccess, onFailure: options.onFailure});
        send('query', {id: id, request: options.request, persistent: persistent});
        return id;
    };

    window.cefQueryCancel = function (id) {
        if (pending.delete(id)) {
            send('cancel', {id: id});
        }
    };

    window.setMessageCallback = function (name, fn) {
        if (arguments.length !== 2 || typeof name !== 'string' || typeof fn !== 'function') {
            return undefined;
        }
        const registration = nextRegistration++;
        handlers.set(registration, fn);
        send('register', {name: name, registration: registration});
        return undefined;
    };
}
