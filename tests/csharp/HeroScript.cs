// The C# binding tests, under Mono: the script of hero_reference.c played
// through the bindings must print the same lines as the C host, bit for bit,
// and failed loads raise KivanimeException with the library's reason.
// Usage: mono kivanime_csharp_tests.exe <examples/hero folder> <kivanime_hero_reference>
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Text;
using Kivanime;

class RecordingHost : IAnimeHost
{
    public readonly List<string> Lines = new List<string>();
    int next;

    public int LoadTexture(string path)
    {
        var line = new StringBuilder("L");
        foreach (char unit in path) line.AppendFormat(" {0:x4}", (int)unit);
        Lines.Add(line.ToString());
        return next++;
    }

    public void ReleaseTexture(int texture) { Lines.Add("R " + texture); }

    public void Draw(ref AnimeDrawParams p)
    {
        Lines.Add(Words('D', p.Texture, p.X, p.Y, p.Reserved0, p.Reserved1, p.Rotation, p.ScaleX, p.ScaleY,
                        p.Alpha, p.Reserved2, p.AnchorX, p.AnchorY, p.SrcX, p.SrcY, p.SrcWidth, p.SrcHeight));
    }

    public static string Words(char tag, params object[] values)
    {
        var line = new StringBuilder(tag.ToString());
        foreach (object v in values)
            line.AppendFormat(" {0:x8}", v is float ? BitConverter.ToUInt32(BitConverter.GetBytes((float)v), 0)
                                         : v is uint ? (uint)v : unchecked((uint)(int)v));
        return line.ToString();
    }
}

static class HeroScript
{
    static int passed, failed;

    static void Check(bool ok, string what)
    {
        if (ok) passed++;
        else { failed++; Console.WriteLine("FAILED: " + what); }
    }

    static string Failure(Action call)
    {
        try { call(); } catch (KivanimeException e) { return "E " + e.Message; }
        return "no exception";
    }

    static List<string> Play(string dir)
    {
        var host = new RecordingHost();
        Anime.Init(host);
        Anime.LoadModel("hero", dir + "/model.json");
        foreach (string m in new[] { "idle", "walk", "wave" }) Anime.LoadMotion("hero", dir + "/motions/" + m + ".json");
        foreach (string e in new[] { "smile", "sleepy" }) Anime.LoadExpression("hero", dir + "/expressions/" + e + ".json");
        host.Lines.Add(Failure(() => Anime.LoadModel("bad", Encoding.UTF8.GetBytes("[1]"), null)));
        var a = new Puppet("hero");
        var b = new Puppet("hero");
        a.PlayMotion("idle", 1f);
        a.PlayOverlay("wave", 1f, 0.7f);
        a.SetExpression("smile");
        a.DrawOrder = 1;
        b.PlayMotion("walk", 1.25f);
        b.SetExpression("sleepy");
        b.Set3DSetup(true, 0f, -360f, 1500f, 120f, 0f);
        b.Set3DAngles(20f, -5f, 2f);
        b.SetPosition(200f, -40f);
        b.SetScale(-0.8f, 0.8f);
        b.Alpha = 0.75f;
        b.SetWind(20f, 0f);
        byte[] hand = Utf8.Encode("hand_r");
        var t = new float[6];
        for (int frame = 0; frame < 60; frame++)
        {
            Anime.Update(16.6667f);
            Anime.Render();
            if (b.GetPartTransform(hand, t)) host.Lines.Add(RecordingHost.Words('T', t[0], t[1], t[2], t[3], t[4], t[5]));
            a.Render();
        }
        a.Dispose();
        Anime.Shutdown();
        return host.Lines;
    }

    static int Main(string[] args)
    {
        var start = new ProcessStartInfo(args[1], "\"" + args[0] + "\"") { UseShellExecute = false, RedirectStandardOutput = true };
        var expected = new List<string>();
        using (Process c = Process.Start(start))
        {
            for (string line; (line = c.StandardOutput.ReadLine()) != null;) expected.Add(line);
            c.WaitForExit();
            Check(c.ExitCode == 0, "the C host exits with " + c.ExitCode);
        }
        List<string> actual = Play(args[0]);
        Check(expected.FindAll(l => l[0] == 'D').Count > 60 * 60, "the C host drew " + expected.Count + " lines");
        int same = 0;
        while (same < expected.Count && same < actual.Count && expected[same] == actual[same]) same++;
        Check(same == expected.Count && same == actual.Count, "C# and C agree on all " + expected.Count +
              " lines; first difference at line " + (same + 1) + ":\n  C:  " +
              (same < expected.Count ? expected[same] : "(end)") + "\n  C#: " + (same < actual.Count ? actual[same] : "(end)"));
        Check(actual.Contains("E cannot load model \"bad\": memory:1:1: expected a JSON object, found an array \"[1]\""),
              "a failed load raises the reason");
        Check(Failure(() => new Puppet("gone")) == "E no model named \"gone\" is loaded", "an unknown model raises the reason");
        Check(Anime.Version == Anime.BindingsVersion, "library version " + Anime.Version);
        Console.WriteLine(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }
}
