// The idiomatic layer over KivanimeNative.cs: Anime (the library as a
// whole), Puppet (one instance, IDisposable), IAnimeHost (what the engine
// supplies) and KivanimeException (a failed load, with the library's reason).
using System;
using System.Runtime.InteropServices;

namespace AOT
{
#if !UNITY_5_3_OR_NEWER
    // Ahead-of-time compilers (Unity's IL2CPP, Mono full AOT) can only hand
    // native code a static method marked with an attribute of this name;
    // Unity defines it, other runtimes get this one. Only the name matters.
    [AttributeUsage(AttributeTargets.Method)]
    public sealed class MonoPInvokeCallbackAttribute : Attribute
    {
        public MonoPInvokeCallbackAttribute(Type type) { }
    }
#endif
}

namespace Kivanime
{
    /// <summary>What the engine supplies: textures and drawing.</summary>
    public interface IAnimeHost
    {
        /// <summary>Loads an image; returns a handle of 0 or more, negative on failure.</summary>
        int LoadTexture(string path);
        /// <summary>Frees a handle that LoadTexture returned.</summary>
        void ReleaseTexture(int texture);
        /// <summary>Draws one part (see docs/host-integration.md for the record).</summary>
        void Draw(ref AnimeDrawParams record);
    }

    /// <summary>A load or creation failed; Message is the library's reason.</summary>
    public sealed class KivanimeException : Exception
    {
        public KivanimeException(string message) : base(message) { }
        public KivanimeException(string message, Exception inner) : base(message, inner) { }
    }

    /// <summary>The library: one per process, like the native one.</summary>
    public static class Anime
    {
        /// <summary>The version these bindings were written for (KIVANIME_VERSION).</summary>
        public const int BindingsVersion = 10000;

        // The host functions are static methods, and the delegates that wrap
        // them live in static fields for the whole life of the process: the
        // library keeps calling the function pointers made from them, so
        // they must never be collected, and AOT runtimes accept nothing but
        // static methods marked [MonoPInvokeCallback] as native callbacks.
        static readonly AnimeLoadTextureFn loadFn = OnLoadTexture;
        static readonly AnimeReleaseTextureFn releaseFn = OnReleaseTexture;
        static readonly AnimeDrawFn drawFn = OnDraw;
        static IAnimeHost host;
        // An exception thrown by the host inside a callback must not unwind
        // through native frames: it is kept and thrown when the call returns.
        static Exception pending;

        /// <summary>The loaded library's version (major * 10000 + minor * 100 + patch).</summary>
        public static int Version { get { return Native.Anime_GetVersion(); } }

        /// <summary>Why this thread's last call failed, or "".</summary>
        public static string LastError { get { return Utf8.Decode(Native.Anime_GetLastError()); } }

        /// <summary>Hands the library the host. Puppets created afterwards use it.</summary>
        public static void Init(IAnimeHost newHost)
        {
            if (Marshal.SizeOf(typeof(AnimeDrawParams)) != 64)
                throw new InvalidOperationException("AnimeDrawParams must be 64 bytes");
            host = newHost;
            AnimeHostCallbacks table = new AnimeHostCallbacks();
            if (newHost != null)
            {
                table.LoadTexture = Marshal.GetFunctionPointerForDelegate(loadFn);
                table.ReleaseTexture = Marshal.GetFunctionPointerForDelegate(releaseFn);
                table.Draw = Marshal.GetFunctionPointerForDelegate(drawFn);
            }
            Native.Anime_Init(ref table);
        }

        /// <summary>Destroys every puppet (textures go back to the host) and model.</summary>
        public static void Shutdown() { Native.Anime_Shutdown(); ThrowPending(); }

        public static void LoadModel(string name, string path)
        {
            Check(Native.Anime_LoadModel(Utf8.Encode(name), Utf8.Encode(path)));
        }

        /// <summary>Loads a model from bytes (an archive entry, a resource); texture
        /// paths are relative to baseDir (null: none).</summary>
        public static void LoadModel(string name, byte[] json, string baseDir)
        {
            Check(Native.Anime_LoadModelFromMemory(Utf8.Encode(name), json, Length(json), Utf8.Encode(baseDir)));
        }

        public static void LoadMotion(string model, string path)
        {
            Check(Native.Anime_LoadMotion(Utf8.Encode(model), Utf8.Encode(path)));
        }

        public static void LoadMotion(string model, byte[] json)
        {
            Check(Native.Anime_LoadMotionFromMemory(Utf8.Encode(model), json, Length(json)));
        }

        public static void LoadExpression(string model, string path)
        {
            Check(Native.Anime_LoadExpression(Utf8.Encode(model), Utf8.Encode(path)));
        }

        public static void LoadExpression(string model, byte[] json)
        {
            Check(Native.Anime_LoadExpressionFromMemory(Utf8.Encode(model), json, Length(json)));
        }

        /// <summary>Destroys the model's puppets and drops the model.</summary>
        public static void UnloadModel(string name) { Native.Anime_UnloadModel(Utf8.Encode(name)); ThrowPending(); }

        public static int PuppetCount { get { return Native.Anime_GetInstanceCount(); } }

        public static void SetGlobalWind(float x, float y) { Native.Anime_SetGlobalWind(x, y); }

        /// <summary>Advances every visible puppet by dt milliseconds.</summary>
        public static void Update(float dtMilliseconds) { Native.Anime_Update(dtMilliseconds); }

        /// <summary>Draws every visible puppet through the host.</summary>
        public static void Render() { Native.Anime_Render(); ThrowPending(); }

        static int Length(byte[] json) { return json == null ? 0 : json.Length; }

        static void Check(int result)
        {
            if (result == 0) throw new KivanimeException(LastError);
        }

        internal static void ThrowPending()
        {
            Exception e = pending;
            if (e == null) return;
            pending = null;
            throw new KivanimeException("the host failed: " + e.Message, e);
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeLoadTextureFn))]
        static int OnLoadTexture(IntPtr path)
        {
            try { return host.LoadTexture(Marshal.PtrToStringUni(path)); }
            catch (Exception e) { pending = pending ?? e; return -1; }
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeReleaseTextureFn))]
        static void OnReleaseTexture(int texture)
        {
            try { host.ReleaseTexture(texture); }
            catch (Exception e) { pending = pending ?? e; }
        }

        [AOT.MonoPInvokeCallback(typeof(AnimeDrawFn))]
        static void OnDraw(IntPtr record)
        {
            try
            {
                AnimeDrawParams p = (AnimeDrawParams)Marshal.PtrToStructure(record, typeof(AnimeDrawParams));
                host.Draw(ref p);
            }
            catch (Exception e) { pending = pending ?? e; }
        }
    }

    /// <summary>One puppet on screen. Dispose destroys it.</summary>
    public sealed class Puppet : IDisposable
    {
        public uint Id { get; private set; }

        /// <summary>Creates a puppet of a loaded model; throws if it is not loaded.</summary>
        public Puppet(string model)
        {
            Id = Native.Anime_CreateInstance(Utf8.Encode(model));
            if (Id == 0) throw new KivanimeException(Anime.LastError);
            Anime.ThrowPending();
        }

        public void Dispose()
        {
            if (Id == 0) return;
            Native.Anime_DestroyInstance(Id);
            Id = 0;
            Anime.ThrowPending();
        }

        public bool PlayMotion(string name, float speed = 1f) { return Native.Anime_PlayMotion(Id, Utf8.Encode(name), speed) != 0; }
        public void StopMotion() { Native.Anime_StopMotion(Id); }
        public bool IsMotionPlaying { get { return Native.Anime_IsMotionPlaying(Id) != 0; } }
        public bool IsMotionFinished { get { return Native.Anime_IsMotionFinished(Id) != 0; } }
        public bool PlayOverlay(string name, float speed = 1f, float weight = 1f) { return Native.Anime_PlayOverlay(Id, Utf8.Encode(name), speed, weight) != 0; }
        public void StopOverlay(string name) { Native.Anime_StopOverlay(Id, Utf8.Encode(name)); }
        public void StopAllOverlays() { Native.Anime_StopAllOverlays(Id); }
        public bool SetExpression(string name) { return Native.Anime_SetExpression(Id, Utf8.Encode(name)) != 0; }
        public void ClearExpression() { Native.Anime_ClearExpression(Id); }

        public void SetPosition(float x, float y) { Native.Anime_SetPosition(Id, x, y); }
        public void GetPosition(out float x, out float y) { Native.Anime_GetPosition(Id, out x, out y); }
        public void SetScale(float x, float y) { Native.Anime_SetScale(Id, x, y); }
        public float Alpha { set { Native.Anime_SetAlpha(Id, value); } }
        public bool Visible { set { Native.Anime_SetVisible(Id, value ? 1 : 0); } }
        public int DrawOrder { set { Native.Anime_SetDrawOrder(Id, value); } }

        public void SetWind(float x, float y) { Native.Anime_SetWind(Id, x, y); }
        public void ResetPhysics() { Native.Anime_ResetPhysics(Id); }

        public void Set3DSetup(bool enabled, float pivotX, float pivotY, float focalDistance, float curveRadiusX, float curveRadiusY)
        {
            Native.Anime_Set3DSetup(Id, enabled ? 1 : 0, pivotX, pivotY, focalDistance, curveRadiusX, curveRadiusY);
        }
        public void Set3DAngles(float yaw, float pitch, float roll) { Native.Anime_Set3DAngles(Id, yaw, pitch, roll); }
        public void Set3DStrength(float depth, float perspective) { Native.Anime_Set3DStrength(Id, depth, perspective); }

        /// <summary>Draws this puppet alone, exactly as Anime.Render would.</summary>
        public void Render() { Native.Anime_RenderInstance(Id); Anime.ThrowPending(); }

        /// <summary>Fills transform (6 floats: x, y, rotation, scaleX, scaleY, alpha)
        /// with the part's record fields; false for an unknown part.</summary>
        public bool GetPartTransform(string part, float[] transform)
        {
            return GetPartTransform(Utf8.Encode(part), transform);
        }

        /// <summary>The same with the name already encoded (Utf8.Encode): with the
        /// name and the array kept from frame to frame, nothing is allocated.</summary>
        public bool GetPartTransform(byte[] utf8Part, float[] transform)
        {
            if (transform == null || transform.Length < 6) throw new ArgumentException("needs 6 floats", "transform");
            return Native.Anime_GetPartTransform(Id, utf8Part, transform) != 0;
        }
    }
}
