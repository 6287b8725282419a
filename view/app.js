// The page side of the client: window buttons, window dragging, the client
// settings from "getConf", the attached devices, and a log of the events pushed by the native
// side.
(function () {
    'use strict';

    var EVENT_NAMES = [
        'devicesChanged',
        'macroItem',
        'currentPropChanged',
        'navStateChanged',
        'onDeviceData',
        'onProcessChanged'
    ];
    var MAX_EVENTS = 50;
    // Keys whose value is "<key sequence>,<flag>" with a flag character of code 1 or 0.
    var HOTKEY_KEYS = { showConf: true, testTool: true };
    // A move query that is not answered by then is given up, so dragging never stalls.
    var MOVE_TIMEOUT_MS = 1000;

    function hasBridge() {
        return typeof window.cefQuery === 'function';
    }

    // Sends one request; returns the query id, or null without a bridge.
    function query(request, onSuccess, onFailure) {
        if (!hasBridge()) {
            return null;
        }
        try {
            return window.cefQuery({
                request: request,
                persistent: false,
                onSuccess: onSuccess || function () {},
                onFailure: onFailure || function () {}
            });
        } catch (error) {
            if (onFailure) {
                onFailure(-1, String(error));
            }
            return null;
        }
    }

    function cancelQuery(id) {
        if (id !== null && typeof window.cefQueryCancel === 'function') {
            try {
                window.cefQueryCancel(id);
            } catch (error) {
                // The query is gone already.
            }
        }
    }

    function byId(id) {
        return document.getElementById(id);
    }

    function setStatus(text, kind) {
        var status = byId('status');
        status.textContent = text;
        status.className = 'status' + (kind ? ' status-' + kind : '');
    }

    // --- window buttons ---------------------------------------------------

    var maximised = false;

    function showMaximised(value) {
        maximised = value;
        var button = byId('btn-maximise');
        button.classList.toggle('is-maximised', value);
        button.title = value ? 'Restore' : 'Maximise';
        button.setAttribute('aria-label', button.title);
    }

    function toggleMaximised() {
        // Neither command is answered, so nothing waits for them.
        query(maximised ? '{"funcname":"restoreWindow"}' : '{"funcname":"maxsizeWindow"}');
        showMaximised(!maximised);
    }

    function setUpButtons() {
        byId('btn-minimise').addEventListener('click', function () {
            query('{"funcname":"minisizeWindow"}');
        });
        byId('btn-maximise').addEventListener('click', toggleMaximised);
        byId('btn-close').addEventListener('click', function () {
            query('{"funcname":"closeApp"}');
        });
        byId('titlebar').addEventListener('dblclick', function (event) {
            if (!event.target.closest('button')) {
                toggleMaximised();
            }
        });
    }

    // --- dragging the title bar ---------------------------------------------

    var drag = null; // { sentX, sentY, x, y, pending, timer } while the button is down

    function sendMove() {
        if (!drag || drag.pending !== null) {
            return;
        }
        var dx = drag.x - drag.sentX;
        var dy = drag.y - drag.sentY;
        if (dx === 0 && dy === 0) {
            return;
        }
        drag.sentX = drag.x;
        drag.sentY = drag.y;
        var state = drag;
        var done = function () {
            if (state.pending === null) {
                return;
            }
            clearTimeout(state.timer);
            state.pending = null;
            sendMove();
        };
        state.pending = query(
            'moveWindow ' + dx + ',' + dy + ',' + window.outerWidth + ',' + window.outerHeight,
            done,
            done);
        if (state.pending === null) {
            return;
        }
        state.timer = setTimeout(function () {
            cancelQuery(state.pending);
            done();
        }, MOVE_TIMEOUT_MS);
        // The native side restores a maximised window when it is moved.
        if (maximised) {
            showMaximised(false);
        }
    }

    function setUpDragging() {
        var titlebar = byId('titlebar');
        titlebar.addEventListener('mousedown', function (event) {
            if (event.button !== 0 || event.target.closest('button')) {
                return;
            }
            event.preventDefault();
            drag = {
                sentX: event.screenX,
                sentY: event.screenY,
                x: event.screenX,
                y: event.screenY,
                pending: null,
                timer: null
            };
        });
        document.addEventListener('mousemove', function (event) {
            if (!drag) {
                return;
            }
            if ((event.buttons & 1) === 0) {
                drag = null;
                return;
            }
            drag.x = event.screenX;
            drag.y = event.screenY;
            sendMove();
        });
        document.addEventListener('mouseup', function (event) {
            if (event.button === 0) {
                drag = null;
            }
        });
    }

    // --- client settings ----------------------------------------------------

    function describeValue(key, value) {
        value = String(value);
        if (HOTKEY_KEYS[key] && value.length >= 2 && value.charAt(value.length - 2) === ',') {
            var flag = value.charCodeAt(value.length - 1);
            if (flag === 0 || flag === 1) {
                var keys = value.slice(0, -2);
                var state = flag === 1 ? 'registered' : 'not registered';
                return keys ? keys + ' (' + state + ')' : state;
            }
        }
        // Make any other control character visible instead of dropping it.
        return value.replace(/[\u0000-\u001f]/g, function (c) {
            return '\\u' + ('000' + c.charCodeAt(0).toString(16)).slice(-4);
        });
    }

    function showConfError(text) {
        var error = byId('conf-error');
        error.textContent = text;
        error.hidden = false;
        byId('conf-table').hidden = true;
    }

    function showConf(conf) {
        var rows = byId('conf-rows');
        while (rows.firstChild) {
            rows.removeChild(rows.firstChild);
        }
        Object.keys(conf).forEach(function (key) {
            var row = document.createElement('tr');
            var keyCell = document.createElement('th');
            keyCell.scope = 'row';
            keyCell.textContent = key;
            var valueCell = document.createElement('td');
            valueCell.textContent = describeValue(key, conf[key]);
            row.appendChild(keyCell);
            row.appendChild(valueCell);
            rows.appendChild(row);
        });
        byId('conf-error').hidden = true;
        byId('conf-table').hidden = false;
    }

    function loadConf() {
        query(
            '{"funcname":"getConf"}',
            function (text) {
                setStatus('Client is up', 'ok');
                var conf;
                try {
                    var parsed = JSON.parse(text);
                    conf = Array.isArray(parsed) ? parsed[0] : null;
                } catch (error) {
                    conf = null;
                }
                if (conf && typeof conf === 'object') {
                    showConf(conf);
                } else {
                    showConfError('Unexpected settings answer: ' + text);
                }
            },
            function (code, text) {
                setStatus('Client is up', 'ok');
                showConfError(text);
            });
    }

    // --- devices --------------------------------------------------------------

    function showDevices(devices) {
        var rows = byId('device-rows');
        while (rows.firstChild) {
            rows.removeChild(rows.firstChild);
        }
        devices.forEach(function (device) {
            var row = document.createElement('tr');
            [device.DeviceID, device.productName || device.productType || '', device.Version,
             device.SN, device.HardwareID].forEach(function (value, index) {
                var cell = document.createElement(index === 0 ? 'th' : 'td');
                cell.textContent = value === undefined ? '' : String(value);
                row.appendChild(cell);
            });
            rows.appendChild(row);
        });
        byId('devices-table').hidden = devices.length === 0;
        byId('devices-note').hidden = devices.length !== 0;
        byId('devices-note').textContent = 'No devices.';
    }

    function loadDevices() {
        query(
            '{"funcname":"getDevicesList"}',
            function (text) {
                var devices;
                try {
                    devices = JSON.parse(text);
                } catch (error) {
                    devices = null;
                }
                if (Array.isArray(devices)) {
                    showDevices(devices);
                }
            },
            function (code, text) {
                byId('devices-table').hidden = true;
                byId('devices-note').hidden = false;
                byId('devices-note').textContent = text;
            });
    }

    // --- events ---------------------------------------------------------------

    function twoDigits(n) {
        return (n < 10 ? '0' : '') + n;
    }

    function addEvent(name, args) {
        var list = byId('events');
        var item = document.createElement('li');
        var now = new Date();
        var time = document.createElement('time');
        time.textContent = twoDigits(now.getHours()) + ':' + twoDigits(now.getMinutes()) + ':' +
            twoDigits(now.getSeconds());
        var label = document.createElement('span');
        label.className = 'event-name';
        label.textContent = name;
        var data = document.createElement('code');
        var json;
        try {
            json = JSON.stringify(args);
        } catch (error) {
            json = String(args);
        }
        data.textContent = json === undefined ? 'undefined' : json;
        item.appendChild(time);
        item.appendChild(label);
        item.appendChild(data);
        list.appendChild(item);
        while (list.children.length > MAX_EVENTS) {
            list.removeChild(list.firstElementChild);
        }
        list.scrollTop = list.scrollHeight;
        byId('events-empty').hidden = true;
    }

    function registerEvents() {
        if (typeof window.setMessageCallback !== 'function') {
            return;
        }
        EVENT_NAMES.forEach(function (name) {
            try {
                window.setMessageCallback(name, function (args) {
                    addEvent(name, args);
                    if (name === 'devicesChanged') {
                        loadDevices();
                    }
                    return true;
                });
            } catch (error) {
                // Registration is best effort; the rest of the page still works.
            }
        });
    }

    function start() {
        setUpButtons();
        setUpDragging();
        registerEvents();
        if (hasBridge()) {
            setStatus('Waiting for the client…');
            loadConf();
            loadDevices();
        } else {
            setStatus('bridge unavailable', 'error');
            showConfError('bridge unavailable');
        }
    }

    if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', start);
    } else {
        start();
    }
})();
