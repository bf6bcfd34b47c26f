// The page's side of the native bridge: every call becomes the navigation of one
// "mraid://" URL, and the next waits until native code answers the previous one.
(function () {
  var mraidview = window.mraidview = {};
  var currentlyViewable = false;
  var currentState = 'loading';
  var listeners = {};
  var nativeCallQueue = [];
  var nativeCallInFlight = false;

  function fire(event, args) {
    var list = listeners[event];
    if (!list) return;
    list = list.slice(0);
    for (var i = 0; i < list.length; i++) list[i].apply(null, args);
  }

  mraidview.fireReadyEvent = function () {
    fire('ready', []);
    return 'OK';
  };
  mraidview.fireStateChangeEvent = function (state) {
    fire('stateChange', [state]);
    currentState = state;
    return 'OK';
  };
  mraidview.fireViewableChangeEvent = function (isViewable) {
    fire('viewableChange', [isViewable]);
    currentlyViewable = isViewable;
    return 'OK';
  };
  mraidview.fireErrorEvent = function (message, action) {
    fire('error', [message, action]);
    return 'OK';
  };
  mraidview.nativeCallComplete = function (cmd) {
    if (nativeCallQueue.length === 0) {
      nativeCallInFlight = false;
      return 'OK';
    }
    window.location = nativeCallQueue.shift();
    return 'OK';
  };

  // Values travel as UTF-8 percent escapes so that any character survives the trip.
  mraidview.executeNativeCall = function (command) {
    var url = 'mraid://' + command;
    var pairs = [];
    for (var i = 1; i + 1 < arguments.length; i += 2) {
      var value = arguments[i + 1];
      if (value === null || value === undefined) continue;
      pairs.push(arguments[i] + '=' + encodeURIComponent(String(value)));
    }
    if (pairs.length > 0) url += '?' + pairs.join('&');
    if (nativeCallInFlight) {
      nativeCallQueue.push(url);
    } else {
      nativeCallInFlight = true;
      window.location = url;
    }
  };

  mraidview.close = function () { mraidview.executeNativeCall('close'); };
  mraidview.expand = function (URL, dimensions) {
    var args = ['expand', 'url', URL];
    var d = dimensions || {};
    var keys = [['x', 'x'], ['y', 'y'], ['w', 'width'], ['h', 'height']];
    for (var i = 0; i < keys.length; i++) {
      var v = d[keys[i][1]];
      if (v !== undefined && v !== null) args.push(keys[i][0], v);
    }
    mraidview.executeNativeCall.apply(null, args);
  };
  mraidview.log = function (message) { mraidview.executeNativeCall('log', 'message', message); };
  mraidview.open = function (URL) { mraidview.executeNativeCall('open', 'url', URL); };
  mraidview.resize = function (width, height) { mraidview.executeNativeCall('resize', 'w', width, 'h', height); };
  mraidview.asyncPing = function (URL) { mraidview.executeNativeCall('asyncPing', 'url', URL); };
  mraidview.makeCall = function (number) { mraidview.executeNativeCall('phone', 'number', number); };
  mraidview.sendMail = function (recipient, subject, body) {
    mraidview.executeNativeCall('email', 'to', recipient, 'subject', subject, 'body', body, 'html', 'N');
  };
  mraidview.sendSMS = function (recipient, body) { mraidview.executeNativeCall('sms', 'to', recipient, 'body', body); };
  mraidview.hide = function () {};
  mraidview.showAlert = function (message) {};

  mraidview.addEventListener = function (event, listener) {
    var list = listeners[event] || (listeners[event] = []);
    for (var i = 0; i < list.length; i++) if (list[i] === listener) return;
    list.push(listener);
  };
  mraidview.removeEventListener = function (event, listener) {
    var list = listeners[event];
    if (!list) return;
    for (var i = 0; i < list.length; i++) {
      if (list[i] === listener) {
        list.splice(i, 1);
        return;
      }
    }
  };
  mraidview.getViewable = function () { return currentlyViewable; };
  mraidview.getState = function () { return currentState; };

  mraidview.zeroPad = function (number) {
    var text = String(number);
    return text.length < 2 ? '0' + text : text;
  };
  mraidview.stringifyArg = function (arg) {
    if (arg === null) return 'null';
    if (arg === undefined) return 'undefined';
    if (typeof arg === 'string') return '"' + arg + '"';
    if (typeof arg === 'object') return mraidview.stringify(arg);
    return String(arg);
  };
  mraidview.stringify = function (args) {
    if (args === null || args === undefined || typeof args !== 'object') return mraidview.stringifyArg(args);
    var parts = [];
    if (args instanceof Array) {
      for (var i = 0; i < args.length; i++) parts.push(mraidview.stringifyArg(args[i]));
      return '[' + parts.join(', ') + ']';
    }
    for (var key in args) {
      if (Object.prototype.hasOwnProperty.call(args, key)) parts.push('"' + key + '": ' + mraidview.stringifyArg(args[key]));
    }
    return '{' + parts.join(', ') + '}';
  };
})();
