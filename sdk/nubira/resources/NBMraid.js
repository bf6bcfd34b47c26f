// The object ad creatives program against, written over window.mraidview.
(function () {
  var mraidview = window.mraidview;
  var mraid = window.mraid = {};

  mraid.STATES = { LOADING: 'loading', DEFAULT: 'default', RESIZED: 'resized', EXPANDED: 'expanded' };
  mraid.EVENTS = { READY: 'ready', ERROR: 'error', STATECHANGE: 'stateChange', VIEWABLECHANGE: 'viewableChange' };

  var size = { width: 0, height: 0 };
  var defaultPosition = { x: 0, y: 0, width: 0, height: 0 };
  var maxSize = { width: 0, height: 0 };
  var listeners = {};

  function knownEvent(event) {
    for (var key in mraid.EVENTS) if (mraid.EVENTS[key] === event) return true;
    return false;
  }
  function indexOf(list, listener) {
    for (var i = 0; i < list.length; i++) if (list[i] === listener) return i;
    return -1;
  }
  function broadcast(event, args) {
    var list = (listeners[event] || []).slice(0);
    for (var i = 0; i < list.length; i++) {
      try {
        list[i].apply(null, args);
      } catch (e) {
        // A creative's listener must not break the others.
      }
    }
  }
  function error(message, action) { broadcast(mraid.EVENTS.ERROR, [message, action]); }
  function relay(event) {
    return function () { broadcast(event, Array.prototype.slice.call(arguments)); };
  }
  mraidview.addEventListener('ready', relay(mraid.EVENTS.READY));
  mraidview.addEventListener('stateChange', relay(mraid.EVENTS.STATECHANGE));
  mraidview.addEventListener('viewableChange', relay(mraid.EVENTS.VIEWABLECHANGE));
  mraidview.addEventListener('error', relay(mraid.EVENTS.ERROR));

  function isNumber(v) { return typeof v === 'number' && !isNaN(v); }
  function blank(text) { return typeof text !== 'string' || text.replace(/^ +| +$/g, '') === ''; }

  mraid.addEventListener = function (event, listener) {
    if (!event || !listener) return error('Both event and listener are required.', 'addEventListener');
    if (!knownEvent(event)) return error('Unknown event: ' + event, 'addEventListener');
    // Listeners are told apart by identity: an engine may print every function alike, and
    // keying them by their text would keep only one of them.
    var list = listeners[event] || (listeners[event] = []);
    if (indexOf(list, listener) < 0) list.push(listener);
  };
  mraid.removeEventListener = function (event, listener) {
    if (!event) return error('Must specify an event.', 'removeEventListener');
    if (!listener) {
      delete listeners[event];
      return;
    }
    var list = listeners[event] || [];
    var at = indexOf(list, listener);
    if (at < 0) return error('Listener not currently registered for event', 'removeEventListener');
    list.splice(at, 1);
  };
  mraid.close = function () { mraidview.close(); };
  mraid.expand = function (URL, dimensions) {
    mraid.log('URL: ' + URL);
    mraidview.expand(URL, dimensions);
  };
  mraid.getMaxSize = function () { return { width: maxSize.width, height: maxSize.height }; };
  mraid.getSize = function () { return { width: size.width, height: size.height }; };
  mraid.getDefaultPosition = function () {
    return { x: defaultPosition.x, y: defaultPosition.y, width: defaultPosition.width, height: defaultPosition.height };
  };
  mraid.getState = function () { return mraidview.getState(); };
  mraid.getViewable = function () { return mraidview.getViewable(); };
  mraid.open = function (URL) {
    if (!URL) return error('URL is required.', 'open');
    mraidview.open(URL);
  };
  mraid.resize = function (width, height) {
    if (!isNumber(width) || !isNumber(height) || width < 0 || height < 0) {
      return error('Requested size must be numeric values between 0 and maxSize.', 'resize');
    }
    if (width > maxSize.width || height > maxSize.height) {
      return error('Request (' + width + ' x ' + height + ') exceeds maximum allowable size of (' + maxSize.width +
                   ' x ' + maxSize.height + ')', 'resize');
    }
    if (width === size.width && height === size.height) return error('Requested size equals current size.', 'resize');
    mraidview.resize(width, height);
  };
  mraid.log = function (message) {
    if (!message) return error('message is required.', 'log');
    mraidview.log(message);
  };
  mraid.asyncPing = function (URL) {
    if (!URL) return error('URL is required.', 'asyncPing');
    mraidview.asyncPing(URL);
  };
  mraid.makeCall = function (number) {
    mraid.log('heelo');
    if (!number) return error('Request must provide a number to call.', 'makeCall');
    mraid.log('mraid makecall');
    mraidview.makeCall(number);
  };
  mraid.sendMail = function (recipient, subject, body) {
    if (blank(recipient)) return error('Request must specify a recipient.', 'sendMail');
    mraidview.sendMail(recipient, subject, body);
  };
  mraid.sendSMS = function (recipient, body) {
    if (blank(recipient)) return error('Request must specify a recipient.', 'sendSMS');
    mraidview.sendSMS(recipient, body);
  };
})();
